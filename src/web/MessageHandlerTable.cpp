#include "web/MessageHandlerTable.h"

#include "web/DebugChangeURLMessageHandler.h"
#include "web/SettingMessageHandler.h"

using Type = Web2NativeMessageType;

// Order matters: a type served by several families reaches them in this order, and the page's
// log, crypto, window, cloud-phone, setting, install, device-application, macro and debug
// families take their places in it.
const std::vector<MessageHandlerSlot>& messageHandlerTable() {
    static const std::vector<MessageHandlerSlot> table{
        {[] { return std::make_shared<SettingMessageHandler>(); },
         {Type::set, Type::get, Type::macGet}},
        {[] { return std::make_shared<DebugChangeURLMessageHandler>(); }, {Type::debugChangeURL}},
    };
    return table;
}
