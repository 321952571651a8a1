#pragma once

#include <QString>
#include <QStringList>

// Product databases as the three products keep them, with the tables and
// columns the postings read and write and the indexes posting relies on.
// Text keys compare without case; posted tables carry ID INTEGER PRIMARY KEY.
namespace ProductDb {

enum class Product { Vesk, Brix, Sorb };

// The statements that make a product's database.
QStringList schema(Product product);

// Makes a new database file at path (replacing one that is there).
void create(const QString &path, Product product);

} // namespace ProductDb
