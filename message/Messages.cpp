#include "message/Messages.h"

namespace message
{
    namespace
    {
        template <typename T>
        const T* sameClass (const BaseMessage& self, const BaseMessage& other)
        {
            if (self.type != other.type)
                return nullptr;

            return dynamic_cast<const T*> (&other);
        }
    }

    NextPackageResponse::NextPackageResponse (juce::uint32 i, juce::uint32 c, const juce::Array<juce::uint8>& bytes)
        : BaseMessage (code), index (i), count (c), data (bytes)
    {
    }

    bool NextPackageResponse::equals (const BaseMessage& other) const
    {
        auto* o = sameClass<NextPackageResponse> (*this, other);

        if (o == nullptr || o->index != index || o->count != count || o->data.size() != data.size())
            return false;

        for (int i = data.size(); --i >= 0;)
            if (o->data.getUnchecked (i) != data.getUnchecked (i))
                return false;

        return true;
    }

    ProgressUpdate::ProgressUpdate (double v) : BaseMessage (code), value (v) {}

    bool ProgressUpdate::equals (const BaseMessage& other) const
    {
        auto* o = sameClass<ProgressUpdate> (*this, other);
        return o != nullptr && o->value == value; // NaN never equals anything
    }

    ModelIdResponse::ModelIdResponse (juce::uint8 id) : BaseMessage (code), modelId (id) {}

    bool ModelIdResponse::equals (const BaseMessage& other) const
    {
        auto* o = sameClass<ModelIdResponse> (*this, other);
        return o != nullptr && o->modelId == modelId;
    }

    SVNUpdate::SVNUpdate (int rev, int src) : BaseMessage (code), revision (rev), source (src) {}

    bool SVNUpdate::equals (const BaseMessage& other) const
    {
        auto* o = sameClass<SVNUpdate> (*this, other);
        return o != nullptr && o->revision == revision && o->source == source;
    }

    DeviceFound::DeviceFound (juce::String deviceName) : BaseMessage (code), name (std::move (deviceName)) {}

    bool DeviceFound::equals (const BaseMessage& other) const
    {
        auto* o = sameClass<DeviceFound> (*this, other);
        return o != nullptr && o->name == name;
    }

    UpdateStatus::UpdateStatus (int f) : BaseMessage (code), failed (f) {}

    bool UpdateStatus::equals (const BaseMessage& other) const
    {
        auto* o = sameClass<UpdateStatus> (*this, other);
        return o != nullptr && o->failed == failed;
    }
}
