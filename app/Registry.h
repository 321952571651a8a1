#pragma once

#include <QString>

// Settings a product keeps in the machine's settings hive rather than in its database.
namespace Registry {

// productKey is "name\version"; the value lives under
// Software\Velmor\name\version\section. A missing section is created with
// the default written into it; every failure gives the default.
QString ReadWinRegValue(const QString &productKey, const QString &section, const QString &valueName,
                        const QString &defaultValue);

void ShowWinRegError(long errorCode);

} // namespace Registry
