// Reading a system-exclusive file: the messages of a good file, byte for byte,
// and for each kind of bad file the text that says what is wrong, with no
// message to send.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "SysexFile.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> Messages(const SysexFile& file) {
  std::vector<Bytes> messages;
  for (qsizetype i = 0; i < file.MessageCount(); ++i) {
    const auto message = file.Message(i);
    messages.emplace_back(message.begin(), message.end());
  }
  return messages;
}

QByteArray Raw(std::initializer_list<int> bytes) {
  QByteArray raw;
  for (int b : bytes) raw.append(static_cast<char>(b));
  return raw;
}

TEST(SysexFileParse, ABinaryFileIsSplitAtEachF0AndEndsWithEachF7) {
  const SysexFile file = SysexFile::Parse(Raw({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7, 0xF0, 0xF7, 0xF0, 0x41, 0x10, 0x00, 0xF7}));
  ASSERT_TRUE(file.Ok()) << file.Error().toStdString();
  EXPECT_FALSE(file.IsHexText());
  EXPECT_EQ(Messages(file), (std::vector<Bytes>{{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7},
                                                 {0xF0, 0xF7},
                                                 {0xF0, 0x41, 0x10, 0x00, 0xF7}}));
  EXPECT_EQ(file.TotalBytes(), 13);
  EXPECT_EQ(file.MessageSize(2), 5);
}

struct TextCase {
  const char* name;
  const char* text;
};

class SysexFileHexText : public ::testing::TestWithParam<TextCase> {};

TEST_P(SysexFileHexText, GivesTheSameMessagesAsTheBinaryFile) {
  const SysexFile file = SysexFile::Parse(QByteArray(GetParam().text));
  ASSERT_TRUE(file.Ok()) << file.Error().toStdString();
  EXPECT_TRUE(file.IsHexText());
  EXPECT_EQ(Messages(file), (std::vector<Bytes>{{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, {0xF0, 0x43, 0x0A, 0xF7}}));
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, SysexFileHexText,
    ::testing::Values(TextCase{"SpacesAndLines", "F0 7E 7F 06 01 F7\nF0 43 0A F7\n"},
                      TextCase{"LowerCaseAndCrLf", "f0 7e 7f 06 01 f7\r\nf0 43 0a f7\r\n"},
                      TextCase{"PairsWrittenTogether", "F07E7F0601F7 F0430AF7"},
                      TextCase{"CommasAndPrefixes", "0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7,\n$F0,$43,$0A,$F7"},
                      TextCase{"TabsAndNoLastLineEnd", "\tF0\t7E 7F 06 01 F7 F0 43 0A F7"},
                      TextCase{"ByteOrderMark", "\xEF\xBB\xBF" "F0 7E 7F 06 01 F7 F0 43 0A F7"}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadCase {
  const char* name;
  QByteArray content;
  const char* error;
};

class SysexFileRefused : public ::testing::TestWithParam<BadCase> {};

TEST_P(SysexFileRefused, SaysWhatIsWrongAndHoldsNoMessage) {
  const SysexFile file = SysexFile::Parse(GetParam().content);
  EXPECT_FALSE(file.Ok());
  EXPECT_EQ(file.Error(), QString::fromUtf8(GetParam().error));
  EXPECT_EQ(file.MessageCount(), 0);
  EXPECT_EQ(file.TotalBytes(), 0);
}

QByteArray LongMessage(int size) {
  QByteArray message(size, '\x11');
  message.front() = static_cast<char>(0xF0);
  message.back() = static_cast<char>(0xF7);
  return message;
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, SysexFileRefused,
    ::testing::Values(
        BadCase{"Empty", QByteArray(), "Fichier vide."},
        BadCase{"OnlyBlanks", QByteArray(" \n\t\r\n"), "Fichier vide."},
        BadCase{"NoF0", Raw({0x90, 0x3C, 0x40, 0x80, 0x3C, 0x00}), "Aucun message SysEx (F0) dans le fichier."},
        BadCase{"NoF0InHexText", QByteArray("90 3C 40\n"), "Aucun message SysEx (F0) dans le fichier."},
        BadCase{"NoF7AtTheEnd", Raw({0xF0, 0x01, 0xF7, 0xF0, 0x7E, 0x00}),
                "Message 2 incomplet : F7 manquant à la fin du fichier."},
        BadCase{"NewF0BeforeF7", Raw({0xF0, 0x01, 0x02, 0xF0, 0x03, 0xF7}),
                "Octet d'état F0 dans le message 1 (octet 4 du fichier)."},
        BadCase{"StatusByteInside", Raw({0xF0, 0x01, 0xF7, 0xF0, 0x41, 0x90, 0x3C, 0xF7}),
                "Octet d'état 90 dans le message 2 (octet 6 du fichier)."},
        BadCase{"RealTimeByteInside", Raw({0xF0, 0x41, 0xF8, 0x10, 0xF7}),
                "Octet d'état F8 dans le message 1 (octet 3 du fichier)."},
        BadCase{"StatusByteInsideHexText", QByteArray("F0 01 F7\nF0 41\n10 90 F7\n"),
                "Octet d'état 90 dans le message 2 (ligne 3)."},
        BadCase{"BytesBeforeTheFirstMessage", Raw({0x00, 0xF0, 0x01, 0xF7}),
                "Octet 00 hors d'un message SysEx (octet 1 du fichier)."},
        BadCase{"BytesBetweenMessages", Raw({0xF0, 0x01, 0xF7, 0x0A, 0xF0, 0x02, 0xF7}),
                "Octet 0A hors d'un message SysEx (octet 4 du fichier)."},
        BadCase{"LoneF7", Raw({0xF0, 0x01, 0xF7, 0xF7}), "Octet F7 hors d'un message SysEx (octet 4 du fichier)."},
        // A text's byte-order mark before raw bytes: bytes outside a message.
        BadCase{"ByteOrderMarkBeforeRawBytes", Raw({0xEF, 0xBB, 0xBF, 0xF0, 0x01, 0xF7}),
                "Octet EF hors d'un message SysEx (octet 1 du fichier)."},
        BadCase{"HexTextWithAWord", QByteArray("F0 7E 7F\n06 01 F7 fin\n"),
                "Texte hexadécimal illisible ligne 2 : « fin »."},
        BadCase{"HexTextWithAnOddDigit", QByteArray("F0 7E 7 F7"), "Texte hexadécimal illisible ligne 1 : « 7 »."},
        BadCase{"MessageAboveTheSendLimit", LongMessage(65536),
                "Message 1 trop long : 65\u00A0536 octets (65\u00A0535 octets au plus)."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SysexFileParse, AMessageOfExactlyTheSendLimitIsTaken) {
  const QByteArray content = LongMessage(65535) + Raw({0xF0, 0xF7});
  const SysexFile file = SysexFile::Parse(content);
  ASSERT_TRUE(file.Ok()) << file.Error().toStdString();
  EXPECT_EQ(file.MessageCount(), 2);
  EXPECT_EQ(file.MessageSize(0), 65535);
  EXPECT_EQ(file.Bytes(), content);
}

class SysexFileLoad : public ::testing::Test {
 protected:
  QString Path(const char* name) const { return folder.filePath(QString::fromUtf8(name)); }
  void Write(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(content), content.size());
  }
  QTemporaryDir folder;
};

TEST_F(SysexFileLoad, ReadsTheMessagesOfAFile) {
  const QByteArray content = Raw({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7, 0xF0, 0x43, 0xF7});
  Write(Path("bank.syx"), content);
  const SysexFile file = SysexFile::Load(Path("bank.syx"));
  ASSERT_TRUE(file.Ok()) << file.Error().toStdString();
  EXPECT_EQ(file.MessageCount(), 2);
  EXPECT_EQ(file.Bytes(), content);
}

TEST_F(SysexFileLoad, AnEmptyFileIsRefused) {
  Write(Path("empty.syx"), QByteArray());
  EXPECT_EQ(SysexFile::Load(Path("empty.syx")).Error(), "Fichier vide.");
}

// The file is sparse: its size is what the test is about, not its content.
TEST_F(SysexFileLoad, AFileOf500MbIsRefusedWithItsSizeWithoutBeingRead) {
  const QString path = Path("huge.syx");
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(500'000'000));
  }
  EXPECT_EQ(SysexFile::Load(path).Error(),
            QString::fromUtf8("Fichier trop grand : 500\u00A0000\u00A0000 octets (64,0 Mo au plus)."));
}

TEST_F(SysexFileLoad, AFileJustAboveTheLimitIsRefusedAndOneAtTheLimitIsRead) {
  const QString path = Path("limit.syx");
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(SysexFile::MaxFileBytes + 1));
  }
  EXPECT_EQ(SysexFile::Load(path).Error(),
            QString::fromUtf8("Fichier trop grand : 67\u00A0108\u00A0865 octets (64,0 Mo au plus)."));
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(SysexFile::MaxFileBytes));
  }
  // Read, and refused for its content (zeros) rather than its size.
  EXPECT_EQ(SysexFile::Load(path).Error(), "Aucun message SysEx (F0) dans le fichier.");
}

TEST_F(SysexFileLoad, AFileThatIsNotThereIsRefused) {
  EXPECT_EQ(SysexFile::Load(Path("gone.syx")).Error(), "Fichier introuvable : gone.syx");
}

TEST_F(SysexFileLoad, AFolderIsRefused) {
  ASSERT_TRUE(QDir(folder.path()).mkdir("bank.syx"));
  EXPECT_EQ(SysexFile::Load(Path("bank.syx")).Error(), "bank.syx n'est pas un fichier.");
}

// Reading a pipe would wait for a writer that never comes.
TEST_F(SysexFileLoad, APipeIsRefusedWithoutWaitingForIt) {
  ASSERT_EQ(mkfifo(Path("pipe.syx").toLocal8Bit().constData(), 0600), 0);
  EXPECT_EQ(SysexFile::Load(Path("pipe.syx")).Error(), "pipe.syx n'est pas un fichier.");
}

// A file that opens but whose reading fails (as on a failing disk): this
// process's memory file refuses a read at its start, even for root.
TEST_F(SysexFileLoad, AFileWhoseReadingFailsIsRefused) {
  ASSERT_TRUE(QFileInfo("/proc/self/mem").isFile());
  EXPECT_EQ(SysexFile::Load("/proc/self/mem").Error(), "Impossible de lire mem.");
}

TEST_F(SysexFileLoad, AFileWithoutReadPermissionIsRefused) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file whatever its permissions";
  Write(Path("locked.syx"), Raw({0xF0, 0x01, 0xF7}));
  ASSERT_EQ(chmod(Path("locked.syx").toLocal8Bit().constData(), 0), 0);
  EXPECT_EQ(SysexFile::Load(Path("locked.syx")).Error(), "Impossible de lire locked.syx.");
}

}  // namespace
