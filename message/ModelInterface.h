#pragma once

#include "message/ReportingListener.h"

namespace model
{
    /** How the model (the firmware image's knowledge) is reached. */
    class ModelInterface : public message::ReportingListener
    {
    public:
        using ReportingListener::ReportingListener;
    };
}
