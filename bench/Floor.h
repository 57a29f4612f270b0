#pragma once
// The floor of loading a database file: read its bytes and split them into lines and fields,
// nothing more. No text is decoded and no value converted; a loader that does those too can
// only come near this figure, never under it.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

struct TSplit {
    std::size_t Lines = 0;
    std::size_t Fields = 0;
};

// Reads the whole file and records where every field of every line ends (one reused table of
// offsets, as a parser would keep), counting lines and fields. A carriage return, a line feed
// or the pair end a line; ";" ends a field.
inline TSplit ReadAndSplit(const QString &path)
{
    TSplit split;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return split;
    const QByteArray bytes = file.readAll();
    std::vector<std::uint32_t> ends;
    ends.reserve(64);
    const char *p = bytes.constData();
    const std::size_t n = std::size_t(bytes.size());
    std::size_t i = 0;
    while (i < n) {
        ends.clear();
        while (i < n && p[i] != '\r' && p[i] != '\n') {
            if (p[i] == ';')
                ends.push_back(std::uint32_t(i));
            ++i;
        }
        split.Fields += ends.size();
        ++split.Lines;
        if (i < n && p[i] == '\r')
            ++i;
        if (i < n && p[i] == '\n')
            ++i;
    }
    return split;
}

} // namespace bench
