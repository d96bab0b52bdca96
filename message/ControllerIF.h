#pragma once

#include "message/Listener.h"

namespace controller
{
    /** The hub's listener interface: the model, the downloader and the view post here. */
    class ControllerIF : public message::Listener
    {
    public:
        ~ControllerIF() override = default;

        /** The outcome code: 0 success, -1 failure. */
        virtual int getResult() = 0;
    };
}
