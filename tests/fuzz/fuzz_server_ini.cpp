// "server.ini": arbitrary file contents read as the server client's start
// reads them, the state it starts in, and the identity a registration then
// writes into that same file, read back as the next start would. Checked:
// the start state follows the identity's length; an identity in use reaches
// the server unchanged in the request bodies; a written identity reads back
// exactly; and for plain files (letters, digits, "-", "_", ".", blanks,
// "[Group]" and "key = value" lines) the identity is the one a reading
// written here finds.
//
// Input: byte 0 the length in bytes of the identity to write, taken from the
// end of the input (as UTF-8); the bytes between are the file.

#include "fuzzsupport.h"
#include "serverbodies.h"

#include "reporting/serveridentity.h"
#include "reporting/serveruploadrecord.h"

#include <QRegularExpression>

namespace
{

// The "Server"/"GUID" value of a plain file; false when the file is not
// plain (QSettings then has rules of its own: quotes, escapes, lists,
// comments, Latin-1 bytes, ...).
bool plainIdentity(const QByteArray& file, QString* guid)
{
    static const QRegularExpression blank(QStringLiteral("^ *$"));
    static const QRegularExpression header(QStringLiteral("^\\[([A-Za-z0-9]+)\\]$"));
    static const QRegularExpression entry(
        QStringLiteral("^ *([A-Za-z0-9_.-]+) *= *([A-Za-z0-9_.-]+( +[A-Za-z0-9_.-]+)*)? *$"));
    QString group;
    guid->clear();
    for (QByteArray line : file.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QString text = QString::fromLatin1(line.constData(), line.size()); // NUL bytes included
        if (blank.match(text).hasMatch())
            continue;
        const QRegularExpressionMatch h = header.match(text);
        if (h.hasMatch()) {
            group = h.captured(1);
            continue;
        }
        const QRegularExpressionMatch e = entry.match(text);
        if (!e.hasMatch())
            return false;
        if (group == QLatin1String("General"))
            return false; // the group of keys without one
        if (group == QLatin1String("Server") && e.captured(1) == QLatin1String("GUID"))
            *guid = e.captured(2); // the last one counts
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t tail = std::min<size_t>(data[0], size - 1);
    const QByteArray file = FuzzSupport::bytes(data + 1, size - 1 - tail);
    const QString written = QString::fromUtf8(FuzzSupport::bytes(data + size - tail, tail));

    const QString path = FuzzSupport::writeScratchFile(QStringLiteral("server.ini"), data + 1, size_t(file.size()));
    const QString guid = ServerIdentity::read(path);
    const int state = ServerIdentity::startState(guid);
    if (guid.size() == 36)
        FUZZ_CHECK(state == Registered);
    else
        FUZZ_CHECK(state == (guid.isEmpty() ? Unregistered : Disabled));
    if (state == Registered)
        ServerBodies::check(guid);

    QString expected;
    if (plainIdentity(file, &expected))
        FUZZ_CHECK(guid == expected);

    // A registration stores the identity in the file as it stands; the next
    // start must read it back exactly.
    FUZZ_CHECK(ServerIdentity::write(path, written));
    FuzzSupport::restamp(path);
    FUZZ_CHECK(ServerIdentity::read(path) == written);
    return 0;
}
