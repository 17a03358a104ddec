#include "reader_library.h"

#include "gbk.h"

#include <cstring>

namespace {

ReaderLibrary* g_installed = nullptr;

} // namespace

ReaderLibrary& ReaderLibrary::instance()
{
    return g_installed ? *g_installed : brenholtLibrary();
}

ReaderLibrary* ReaderLibrary::install(ReaderLibrary* library)
{
    ReaderLibrary* previous = g_installed;
    g_installed = library;
    return previous;
}

QString failureAdvice(int code)
{
    switch (code) {
    case BRN_ERR_PORT:
        return QStringLiteral("串口打不开：请确认阅读器接在这个端口上，然后在“阅读器连接口”中重新选择这个端口。");
    case BRN_ERR_VERSION:
        return QStringLiteral("阅读器没有应答：请检查阅读器的电源和连接线，然后再试一次；"
                              "仍然不行时，请在“阅读器连接口”中重新选择端口。");
    case BRN_ERR_HANDLE:
        return QStringLiteral("没有连接阅读器：请在“阅读器连接口”中选择阅读器所在的端口。");
    case BRN_ERR_NO_READER:
        return QStringLiteral("这个端口上没有找到阅读器：请检查阅读器的电源和连接线，"
                              "然后在“阅读器连接口”中重新选择端口。");
    case BRN_ERR_MANY_TAGS:
        return QStringLiteral("阅读器上不止一个标签：请只在阅读器上放一个标签，然后再试一次。");
    case BRN_ERR_NO_TAG:
        return QStringLiteral("阅读器上没有找到标签：请把一个标签放在阅读器上，然后再试一次；"
                              "标签已经放好时，请检查阅读器的电源和连接线。");
    default:
        return {};
    }
}

QString FailureText(const QString& prefix, int code, const QString& advice)
{
    const char* text = ReaderLibrary::instance().errorString(code);
    QString message = prefix + fromGbk(text ? std::string_view(text, std::strlen(text)) : std::string_view());
    if (!advice.isEmpty())
        message += (message.isEmpty() ? QString() : QStringLiteral("\n")) + advice;
    return message;
}

bool ReaderLineGone(ReaderHandle handle)
{
    return handle && ReaderLibrary::instance().readerConnected(handle) == 0;
}

ReaderFailure ReaderFailureOf(ReaderHandle handle, int code)
{
    if (!ReaderLineGone(handle))
        return {FailureText(QString(), code), false};
    return {FailureText(QString(), code, kReaderGoneAdvice), true};
}

CReaderLine& CReaderLine::instance()
{
    static CReaderLine line;
    return line;
}

int OneTagCode(ReaderHandle handle)
{
    const int count = ReaderLibrary::instance().inventory(handle);
    if (count == 1)
        return 0;
    if (count < 0)
        return count;
    if (count > 1)
        return BRN_ERR_MANY_TAGS;
    if (ReaderLineGone(handle))
        return BRN_ERR_VERSION;   // an inventory on a gone line finds nothing: no answer, not no tag
    return BRN_ERR_NO_TAG;
}
