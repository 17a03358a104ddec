#include "settings.h"

#include "holdings.h"

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

int CSettings::listIndex(const QString& key, qsizetype entries, int fallback) const
{
    const int index = integer(kLastEnv, key, fallback);
    return index >= 0 && index < entries ? index : fallback;
}

int CSettings::type() const
{
    return listIndex(QStringLiteral("Type"), kMediaTypes.size(), 0);
}

int CSettings::comPort() const
{
    return listIndex(QStringLiteral("Com Port"), kPorts, kDefaultPort);
}

int CSettings::patronType() const
{
    return listIndex(QStringLiteral("PatronType"), kPatronTypes.size(), 0);
}

int CSettings::patronCardStatus() const
{
    return listIndex(QStringLiteral("PatronCardStatus"), kCardStatuses.size(), 0);
}

int CSettings::sorting() const
{
    const int depth = integer(kReader, QStringLiteral("Sorting"), kDefaultSorting);
    return depth >= 1 ? depth : kDefaultSorting;
}
