#include "tools/firmware-image/ImageCheck.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

// Run by the build on the built-in image before it becomes program data: a broken image
// stops the build here, with the place of the first fault, instead of reaching the pedal.
int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "usage: " << argv[0] << " IMAGE.syx\n";
        return 2;
    }

    std::ifstream file (argv[1], std::ios::binary);

    if (! file)
    {
        std::cerr << argv[1] << ": error: cannot read the firmware image\n";
        return 1;
    }

    const std::vector<std::uint8_t> image ((std::istreambuf_iterator<char> (file)), std::istreambuf_iterator<char>());

    if (auto fault = firmware::image::check (image.data(), image.size()))
    {
        std::cerr << argv[1] << ": error: firmware image broken at " << firmware::image::describe (*fault) << '\n';
        return 1;
    }

    return 0;
}
