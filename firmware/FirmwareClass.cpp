#include "firmware/FirmwareClass.h"

#include "firmware/ImageFacts.h"

#include <FirmwareImageData.h>

FirmwareClass::FirmwareClass()
    : FirmwareBaseClass (juce::String (firmware::image::name), juce::String (firmware::image::version), firmware::image::revision)
{
    // The build refuses an image whose length differs from the declared one, so the
    // declared length is the array's length.
    data = reinterpret_cast<const juce::uint8*> (firmware_data::Bramblet1_0_01R739_syx);
    size = static_cast<juce::int64> (firmware::image::size);
    jassert (firmware_data::Bramblet1_0_01R739_syxSize == static_cast<int> (firmware::image::size));
}
