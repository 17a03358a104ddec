#include "readerlibrary.h"

#include "gbk.h"
#include "ui.h"

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

bool ReportFailure(QWidget* owner, const QString& caption, const QString& prefix, int code)
{
    if (code == 0)
        return true;
    const char* text = ReaderLibrary::instance().errorString(code);
    const QString message = prefix + fromGbk(text ? std::string_view(text, std::strlen(text)) : std::string_view());
    Ui::instance().message(owner, caption, message, Ui::Icon::Error);
    return false;
}
