#pragma once
// The INI format of "config.ini" and "server.ini" for QSettings: the syntax
// Qt's own INI format reads and writes (groups, quotes, escapes, lists,
// comments, continued lines), with every value read as text. Qt's format
// decodes values that begin with "@" ("@Variant(...)", "@ByteArray(...)")
// as serialized Qt types, and a malformed one makes Qt read out of bounds:
// one bad line in a hand-edited file would crash the program at every
// start. Here nothing is decoded.
//
// What the reader puts into the map:
// - a QString for a plain value ("@@" at its start stands for "@", as in
//   Qt's format);
// - a QStringList for a value with unquoted commas (Qt's lists);
// - a QByteArray holding the value's text (UTF-8) for a value that begins
//   with a single "@": the text of a serialized Qt value, which is kept but
//   never decoded. SettingsFile's readers take the key's default for it.
// The writer writes plain ASCII lines that this reader reads back to the
// same keys and texts, and that Qt's INI format reads as the same texts: a
// kept "@" value goes back as text, its "@" doubled, so the written file no
// longer holds anything that Qt would decode.

#include <QByteArray>
#include <QIODevice>
#include <QSettings>
#include <QString>
#include <QStringList>

namespace TextIni
{

// The format, registered with QSettings on first use. Open every
// QSettings on these files with it.
QSettings::Format format();

struct Parsed {
    QSettings::SettingsMap map;
    // One text per line that was skipped or read in an unusual way
    // ("line 4: no '=', skipped"), in file order.
    QStringList problems;
};

// The pure core: file bytes to keys and values (keys "Group/key"; keys of
// the group "General" have no group), and back.
Parsed parse(const QByteArray& data);
QByteArray serialize(const QSettings::SettingsMap& map);

// The functions registered with QSettings. read logs the problems of the
// file it read to the application log, naming the file; both return false
// only when the device fails.
bool read(QIODevice& device, QSettings::SettingsMap& map);
bool write(QIODevice& device, const QSettings::SettingsMap& map);

} // namespace TextIni
