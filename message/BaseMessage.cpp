#include "message/BaseMessage.h"

namespace message
{
    BaseMessage::BaseMessage (int typeCode) : type (typeCode) {}

    bool BaseMessage::equals (const BaseMessage& other) const
    {
        return type == other.type;
    }
}
