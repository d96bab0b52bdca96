#pragma once

#include "message/ReportingListener.h"

namespace downloader
{
    /** How the downloader (the transfer to the pedal) is reached. */
    class DownloaderInterface : public message::ReportingListener
    {
    public:
        using ReportingListener::ReportingListener;
    };
}
