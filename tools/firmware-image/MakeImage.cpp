#include "tools/firmware-image/ImageCheck.h"

#include <fstream>
#include <iostream>
#include <vector>

/*  Makes the stand-in firmware image. The pedal's real firmware is not ours to ship, so the
    update data carry made-up payload that keeps every container rule. Each payload starts
    with its message's number, and the rest comes from a seeded generator, so every message
    differs from every other one and a lost, repeated or swapped message shows at once.
    The output is the same on every run; the build never runs this, it only checks the
    committed result. To remake the image:

        flashwell_make_image firmware/Bramblet-1.0.01-R739.syx
*/
namespace
{
    using namespace firmware::image;

    /** xorshift32: small, fixed, and the same on every platform. */
    class PayloadBytes
    {
    public:
        std::uint8_t next()
        {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            return static_cast<std::uint8_t> ((state >> 24) & 0x7f);
        }

    private:
        std::uint32_t state = 0x0b1a0739;
    };

    void appendHeader (std::vector<std::uint8_t>& image, std::uint8_t command)
    {
        image.insert (image.end(), { 0xf0, 0x00, 0x4b, 0x6e, 0x00, modelId, command });
    }

    std::vector<std::uint8_t> makeImage()
    {
        std::vector<std::uint8_t> image;
        image.reserve (size);
        PayloadBytes random;

        appendHeader (image, updateBeginCommand);
        image.insert (image.end(), { 0x01, 0xf7 });

        for (std::size_t message = 1; message + 1 < messageCount; ++message)
        {
            appendHeader (image, updateDataCommand);
            image.push_back (static_cast<std::uint8_t> ((message >> 7) & 0x7f));
            image.push_back (static_cast<std::uint8_t> (message & 0x7f));

            for (std::size_t i = 2; i < dataPayloadLength; ++i)
                image.push_back (random.next());

            image.push_back (0xf7);
        }

        appendHeader (image, updateDataCommand);
        image.insert (image.end(), { 0x01, 0xf7 });
        return image;
    }
}

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "usage: " << argv[0] << " OUTPUT.syx\n";
        return 2;
    }

    const auto image = makeImage();

    if (auto fault = check (image.data(), image.size()))
    {
        std::cerr << "error: the generated image breaks a rule at " << describe (*fault) << '\n';
        return 1;
    }

    std::ofstream file (argv[1], std::ios::binary | std::ios::trunc);
    file.write (reinterpret_cast<const char*> (image.data()), static_cast<std::streamsize> (image.size()));

    if (! file)
    {
        std::cerr << argv[1] << ": error: cannot write the firmware image\n";
        return 1;
    }

    return 0;
}
