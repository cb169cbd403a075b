// Every text the program can show, as built: the string constants of the executable and the
// served pages. A text that names the other desktop's places would send a user looking for
// something this one does not have.
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <elf.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Stored keys keep their spelling: they are read, never shown.
const QStringList kStoredKeys {QStringLiteral("macSimpleMode"), QStringLiteral("showInMenuBar"),
    QStringLiteral("hideDockIcon")};

const QRegularExpression kOtherDesktop(
    QStringLiteral("\\b(Macs?|macOS|Dock|Finder)\\b|\\bmenu[ -]bar"),
    QRegularExpression::CaseInsensitiveOption);

// Case matters for the names ("dock" as in docked is fine), not for "menu bar".
bool namesOtherDesktop(QString text)
{
    for (const QString& key : kStoredKeys)
        text.remove(key);
    QRegularExpressionMatchIterator it = kOtherDesktop.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString word = match.captured(1);
        if (word.isEmpty() || word.at(0).isUpper() || word == QLatin1String("macOS"))
            return true;
    }
    return false;
}

QByteArray section(const QByteArray& elf, const char* wanted)
{
    if (elf.size() < qsizetype(sizeof(Elf64_Ehdr)))
        return {};
    Elf64_Ehdr header;
    std::memcpy(&header, elf.constData(), sizeof header);
    const auto sectionAt = [&](int i) {
        Elf64_Shdr s;
        std::memcpy(
            &s, elf.constData() + header.e_shoff + qsizetype(i) * header.e_shentsize, sizeof s);
        return s;
    };
    const Elf64_Shdr names = sectionAt(header.e_shstrndx);
    for (int i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr s = sectionAt(i);
        if (std::strcmp(elf.constData() + names.sh_offset + s.sh_name, wanted) == 0)
            return elf.mid(qsizetype(s.sh_offset), qsizetype(s.sh_size));
    }
    return {};
}

// Runs of printable text, read both as UTF-8 and as the UTF-16 that QStringLiteral stores.
QStringList texts(const QByteArray& bytes)
{
    QStringList found;
    QString run;
    const auto flush = [&] {
        if (run.size() >= 3)
            found.append(run);
        run.clear();
    };
    for (char c : bytes) {
        if (uchar(c) >= 0x20 && uchar(c) != 0x7f)
            run.append(QLatin1Char(c));
        else
            flush();
    }
    flush();
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = char16_t(uchar(bytes.at(i)) | (uchar(bytes.at(i + 1)) << 8));
        if (unit >= 0x20 && unit != 0x7f && !(unit >= 0xd800 && unit <= 0xdfff))
            run.append(QChar(unit));
        else
            flush();
    }
    flush();
    return found;
}

TEST(VisibleTexts, NameNothingOfAnotherDesktop)
{
    QFile binary(QStringLiteral(VESKER_BINARY));
    ASSERT_TRUE(binary.open(QIODevice::ReadOnly));
    const QByteArray strings = section(binary.readAll(), ".rodata");
    ASSERT_GT(strings.size(), 1000);

    QStringList wrong;
    QStringList all = texts(strings);
    // The help's texts are there, so the scan reads what the program shows.
    ASSERT_TRUE(all.join(u'\n').contains(QLatin1String("Presentation safety")));
    for (const QString& text : std::as_const(all))
        if (namesOtherDesktop(text))
            wrong.append(QStringLiteral("vesker: ") + text);

    QDirIterator pages(QStringLiteral(VESKER_WEB_PAGES), QDir::Files, QDirIterator::Subdirectories);
    int pageCount = 0;
    while (pages.hasNext()) {
        QFile page(pages.next());
        ASSERT_TRUE(page.open(QIODevice::ReadOnly));
        ++pageCount;
        const QStringList lines = QString::fromUtf8(page.readAll()).split(u'\n');
        for (const QString& line : lines)
            if (namesOtherDesktop(line))
                wrong.append(page.fileName() + QStringLiteral(": ") + line.trimmed());
    }
    EXPECT_GT(pageCount, 0);
    EXPECT_TRUE(wrong.isEmpty()) << qPrintable(wrong.join(u'\n'));
}

TEST(VisibleTexts, TheScanFindsWhatItLooksFor)
{
    const std::pair<const char*, bool> cases[] = {{"Couldn't reach the Mac", true},
        {"other Macs send it", true}, {"Show in Finder", true}, {"Hide the Dock icon", true},
        {"lives in the Menu Bar", true}, {"macOS full screen", true}, {"hideDockIcon", false},
        {"macSimpleMode showInMenuBar", false}, {"a docked panel", false}, {"this computer", false},
        {"Machine", false}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(namesOtherDesktop(QString::fromUtf8(text)), expected) << text;
}

} // namespace
