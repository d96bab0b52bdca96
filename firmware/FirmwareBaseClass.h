#pragma once

#include <juce_core/juce_core.h>

/** Describes one firmware image: where its bytes lie, how many there are, and the product
    name, version text and revision that belong to it. The bytes are not owned.

    The destructor is not virtual: the one concrete image is deleted through its own type,
    and the compiler's -Wdelete-non-virtual-dtor points at any deletion through this base. */
class FirmwareBaseClass
{
public:
    FirmwareBaseClass (juce::String name, juce::String version, int revision);

    virtual const juce::uint8* getData() const;

    /** The image's length, narrowed to 32 bits (an image is far below 4 GB). */
    virtual juce::uint32 getSize() const;

    virtual juce::String getName() const;
    virtual void setName (juce::String newName);
    virtual juce::String getVersion() const;
    virtual int getRevision() const;
    virtual void setTag (int newTag);
    virtual int getTag() const;

protected:
    const juce::uint8* data = nullptr;
    juce::int64 size = 0;

private:
    juce::String name;
    juce::String version;
    int revision;
    int tag = 0;

    JUCE_DECLARE_NON_COPYABLE (FirmwareBaseClass)
};
