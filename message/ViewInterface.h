#pragma once

#include "message/ReportingListener.h"

namespace view
{
    /** How the view (the main window and its panel) is reached. */
    class ViewInterface : public message::ReportingListener
    {
    public:
        using ReportingListener::ReportingListener;
    };
}
