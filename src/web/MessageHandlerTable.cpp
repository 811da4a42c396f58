#include "web/MessageHandlerTable.h"

#include "web/CloudphoneMessageHandler.h"
#include "web/DebugChangeURLMessageHandler.h"
#include "web/DeviceApplicationHandler.h"
#include "web/InstallMessageHandler.h"
#include "web/LogMessageHandler.h"
#include "web/MacroRecordHandler.h"
#include "web/SettingMessageHandler.h"
#include "web/WebCryptoMessageHandler.h"
#include "web/WindowMessageHandler.h"

using Type = Web2NativeMessageType;

// Order matters: a type served by several families reaches them in this order, and the page's
// log, crypto, window, cloud-phone, setting, install, device-application, macro and debug
// families take their places in it.
const std::vector<MessageHandlerSlot>& messageHandlerTable() {
    static const std::vector<MessageHandlerSlot> table{
        {[] { return std::make_shared<LogMessageHandler>(); },
         {Type::writeLocalLog, Type::requestUploadLog, Type::openLog}},
        {[] { return std::make_shared<WebCryptoMessageHandler>(); },
         {Type::encrypt, Type::decrypt}},
        {[] { return std::make_shared<WindowMessageHandler>(); },
         {Type::windowMin,
          Type::windowMax,
          Type::windowNormal,
          Type::windowClose,
          Type::changeWndSize,
          Type::showWindFrame,
          Type::shieldTitleDblClick,
          Type::requestCanOpenPrev,
          Type::requestCanOpenMaxPrev,
          Type::requestHasOpenPrev,
          Type::startUpdate,
          Type::downloadUpdate,
          Type::openUpload,
          Type::startUpload,
          Type::closeUpload,
          Type::requestUploadDelItem,
          Type::requestFileURLIsExist,
          Type::repairWebContent,
          Type::openBrowser,
          Type::requestOpenNewWindow,
          Type::fromChildToMain,
          Type::fromMainToChild}},
        {[] { return std::make_shared<CloudphoneMessageHandler>(); },
         {Type::addCloudphone, Type::requestDeleteCloudphone, Type::cloudphoneOpen,
          Type::cloudphoneOpenAtExist, Type::closeAllCloudphone, Type::closeSelectCloudphone,
          Type::moreCloudphoneOpen, Type::batchRequestPreview, Type::localPreviewPath,
          Type::requestPasteToCloudphone, Type::batchControl, Type::batchControlStatus}},
        {[] { return std::make_shared<SettingMessageHandler>(); },
         {Type::set, Type::get, Type::macGet}},
        {[] { return std::make_shared<InstallMessageHandler>(); }, {Type::batchRequestInstall}},
        {[] { return std::make_shared<DeviceApplicationHandler>(); },
         {Type::requestDeviceApplication, Type::controlDeviceApplication}},
        {[] { return std::make_shared<MacroRecordHandler>(); },
         {Type::requestStartMacroRecord, Type::requestStartMacroCommand,
          Type::requestStopMacroCommand}},
        {[] { return std::make_shared<DebugChangeURLMessageHandler>(); }, {Type::debugChangeURL}},
    };
    return table;
}
