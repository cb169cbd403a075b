#include "send/outgoing_item.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

namespace {

int mode(const QString& path)
{
    struct stat info { };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}

// Points the temporary folder at a fresh one for the length of a test.
class PasteboardTest : public ::testing::Test {
protected:
    QTemporaryDir m_tmp;
    QByteArray m_oldTmp = qgetenv("TMPDIR");
    PasteboardTest() { qputenv("TMPDIR", m_tmp.path().toLocal8Bit()); }
    ~PasteboardTest() override { qputenv("TMPDIR", m_oldTmp); }

    static QMimeData* imageData()
    {
        auto* data = new QMimeData;
        QImage image(30, 20, QImage::Format_RGB32);
        image.fill(Qt::red);
        data->setImageData(image);
        return data;
    }
};

} // namespace

TEST_F(PasteboardTest, TakesImageAndPDFFilesElseTrimmedText)
{
    struct Row {
        const char* name;
        std::function<void(QMimeData&)> fill;
        QList<OutgoingItem> expected;
    };
    const auto url = [](const QString& name) { return QUrl::fromLocalFile(u"/home/a/"_s + name); };
    const QList<Row> rows {
        {"files in order, text file left out",
            [&](QMimeData& d) {
                d.setUrls({url(u"a.JPG"_s), url(u"notes.txt"_s), url(u"b.pdf"_s)});
                d.setText(u"ignored"_s);
            },
            {{.imageURL = url(u"a.JPG"_s)}, {.imageURL = url(u"b.pdf"_s)}}},
        {"remote address is its text",
            [](QMimeData& d) { d.setUrls({QUrl(u"https://example.com/a.png"_s)}); },
            {{.text = u"https://example.com/a.png"_s}}},
        {"text trimmed", [](QMimeData& d) { d.setText(u"  text \n"_s); }, {{.text = u"text"_s}}},
        {"white space only", [](QMimeData& d) { d.setText(u" \n\t"_s); }, {}},
        {"nothing", [](QMimeData&) {}, {}},
    };
    for (const Row& row : rows) {
        QMimeData data;
        row.fill(data);
        QList<OutgoingItem> items = OutgoingItem::fromPasteboard(&data);
        ASSERT_EQ(items.size(), row.expected.size()) << row.name;
        for (qsizetype i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].imageURL, row.expected[i].imageURL) << row.name;
            EXPECT_EQ(items[i].text, row.expected[i].text) << row.name;
            EXPECT_TRUE(items[i].note.isEmpty()) << row.name;
        }
    }
}

TEST_F(PasteboardTest, ImageIsWrittenAsPrivatePNG)
{
    const std::unique_ptr<QMimeData> data(imageData());
    const QList<OutgoingItem> first = OutgoingItem::fromPasteboard(data.get());
    const QList<OutgoingItem> second = OutgoingItem::fromPasteboard(data.get());
    ASSERT_EQ(first.size(), 1);
    ASSERT_EQ(second.size(), 1);
    EXPECT_NE(first[0].imageURL, second[0].imageURL) << "a second paste must not overwrite";

    const QString path = first[0].imageURL.toLocalFile();
    EXPECT_EQ(QFileInfo(path).absolutePath(), m_tmp.path() + u"/Vesker"_s);
    EXPECT_TRUE(QFileInfo(path).fileName().startsWith(u"Pasted "_s));
    EXPECT_FALSE(QFileInfo(path).fileName().contains(u':'));
    EXPECT_EQ(QImage(path, "PNG").size(), QSize(30, 20));
    EXPECT_EQ(mode(path), 0600);
    EXPECT_EQ(mode(m_tmp.path() + u"/Vesker"_s), 0700);
}

TEST_F(PasteboardTest, PlantedLinkIsNotWrittenThrough)
{
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QFile::link(elsewhere.path(), m_tmp.path() + u"/Vesker"_s));
    const std::unique_ptr<QMimeData> data(imageData());
    EXPECT_TRUE(OutgoingItem::fromPasteboard(data.get()).isEmpty());
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
}
