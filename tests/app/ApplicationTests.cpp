#include "app/Application.h"

#include <gtest/gtest.h>

TEST (ApplicationMode, OnlyTheWholeOptionInAnyCaseRunsUnattended)
{
    const std::vector<std::pair<const char*, bool>> table {
        { "--autoupdate", true },
        { "--AUTOUPDATE", true },
        { "--AutoUpdate", true },
        { "--autoupdate ", false },    // a trailing blank stays in the parameter string
        { "--autoupdate now", false }, // a second argument
        { "-autoupdate", false },
        { "autoupdate", false },
        { "", false },
    };

    for (auto [parameters, unattended] : table)
        EXPECT_EQ (Application::isUnattended (parameters), unattended) << '"' << parameters << '"';
}

TEST (ApplicationMode, NameVersionAndSingleInstance)
{
    Application app;
    EXPECT_EQ (app.getApplicationName(), "Flashwell by Oxbay");
    EXPECT_EQ (app.getApplicationVersion(), "2.0");
    EXPECT_FALSE (app.moreThanOneInstanceAllowed());
}
