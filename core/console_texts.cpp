#include "console_texts.h"

#include "control_ids.h"
#include "ui_language.h"

namespace {

const char* pick(const char* chinese, const char* english) {
    return g_bChineseUi ? chinese : english;
}

} // namespace

const char* openedLine() {
    return pick("启动成功\r\n", "Start Success\r\n");
}

const char* openFailedLine() {
    return pick("启动失败\r\n", "Start Failed\r\n");
}

const char* closedLine() {
    return pick("停止成功\r\n", "Stop Success\r\n");
}

const char* defaultMessageText() {
    return pick("This is 短信测试内容 12345", "This is Talvoren SMS Test Text");
}

std::string receivedMessageEntry(const std::string& firstHeader, const std::string& secondHeader,
                                 const std::string& text) {
    return pick("收到短信:<", "Receive SMS:<") + firstHeader + "> <" + secondHeader + ">:\r\n    " +
           text + "\r\n";
}

std::string sendReportLine(bool sent, const std::string& number, const std::string& text) {
    if (g_bChineseUi) {
        return "发往" + number + (sent ? "的短信发送成功,内容:" : "的短信发送失败,内容:") + text +
               "\r\n";
    }
    return "Send " + number + (sent ? " SMS Success,Content:" : " SMS Fail,Content:") + text +
           "\r\n";
}

const std::array<ControlLabel, 13> kEnglishLabels{{
    {IDC_GROUP_SERIAL, "Serial Parameters"},
    {IDC_STATIC_PORT, "COM:"},
    {IDC_STATIC_BAUD, "Baudrate:"},
    {IDC_GROUP_RECEIVE, "Receive"},
    {IDC_GROUP_SEND, "Send"},
    {IDC_GROUP_LOG, "Log"},
    {IDC_STATIC_PHONE, "Phone To Receive SMS\uFF1A"},
    {IDC_BTN_START, "Start"},
    {IDC_BTN_STOP, "Stop"},
    {IDC_BTN_CLEAR, "Clear"},
    {IDC_BTN_SEND, "Send"},
    {IDC_STATIC_INDEX, "Index"},
    {IDC_BTN_QUERY, "Query"},
}};
