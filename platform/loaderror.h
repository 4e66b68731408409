#pragma once

#include <QString>
#include <stdexcept>

// Why a list cannot be loaded, in words a user understands: a file that cannot be read, or a
// list past one of the format's limits. Everything from opening the file to building the rows
// throws this one type; the window shows the failure caption, the checker prints the words.
class LoadError : public std::runtime_error {
public:
    explicit LoadError(const QString &why) : std::runtime_error(why.toStdString()) {}
    QString why() const { return QString::fromStdString(what()); }
};
