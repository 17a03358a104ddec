#include "settings.h"

#include <algorithm>

namespace {

QString path(const QString& section, const QString& key)
{
    return section + QLatin1Char('/') + key;
}

} // namespace

CSettings::CSettings()
    : m_store(QSettings::IniFormat, QSettings::UserScope, kOrganisation, kApplication)
{
}

QString CSettings::text(const QString& section, const QString& key, const QString& fallback) const
{
    return m_store.value(path(section, key), fallback).toString();
}

int CSettings::integer(const QString& section, const QString& key, int fallback) const
{
    bool ok = false;
    const int value = m_store.value(path(section, key), fallback).toInt(&ok);
    return ok ? value : fallback;
}

void CSettings::setText(const QString& section, const QString& key, const QString& value)
{
    m_store.setValue(path(section, key), value);
}

void CSettings::setInteger(const QString& section, const QString& key, int value)
{
    m_store.setValue(path(section, key), value);
}

int CSettings::listIndex(const QString& key, int fallback) const
{
    return std::max(0, integer(kLastEnv, key, fallback));
}
