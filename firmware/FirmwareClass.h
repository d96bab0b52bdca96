#pragma once

#include "firmware/FirmwareBaseClass.h"

/** The firmware image built into the program: the bytes of the .syx file beside it, turned into a
    constant array at build time after the build has checked them. Nothing reads a file. */
class FirmwareClass final : public FirmwareBaseClass
{
public:
    FirmwareClass();
};
