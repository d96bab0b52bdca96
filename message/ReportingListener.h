#pragma once

#include "message/ControllerIF.h"

namespace message
{
    /** A component's listener that reports everything it has to say to the controller. */
    class ReportingListener : public Listener
    {
    public:
        explicit ReportingListener (controller::ControllerIF* controllerToReportTo) : controller (controllerToReportTo) {}
        ~ReportingListener() override = default;

    protected:
        controller::ControllerIF* const controller;
    };
}
