#include "firmware/FirmwareBaseClass.h"

FirmwareBaseClass::FirmwareBaseClass (juce::String nameToUse, juce::String versionToUse, int revisionToUse)
    : name (std::move (nameToUse)), version (std::move (versionToUse)), revision (revisionToUse)
{
}

const juce::uint8* FirmwareBaseClass::getData() const
{
    return data;
}

juce::uint32 FirmwareBaseClass::getSize() const
{
    return static_cast<juce::uint32> (size);
}

juce::String FirmwareBaseClass::getName() const
{
    return name;
}

void FirmwareBaseClass::setName (juce::String newName)
{
    name = std::move (newName);
}

juce::String FirmwareBaseClass::getVersion() const
{
    return version;
}

int FirmwareBaseClass::getRevision() const
{
    return revision;
}

void FirmwareBaseClass::setTag (int newTag)
{
    tag = newTag;
}

int FirmwareBaseClass::getTag() const
{
    return tag;
}
