#include "SysexFile.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>

#include "FileTexts.h"
#include "MidiText.h"

namespace {

bool IsTextByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= 0x20 && byte < 0x7F) || c == '\t' || c == '\n' || c == '\r';
}

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ','; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Calls `token(text, line)` for each run of characters between separators,
// lines counted from 1; stops when it returns false.
template <typename Token>
void ForEachToken(const QByteArray& text, Token token) {
  int line = 1;
  qsizetype i = 0;
  while (i < text.size()) {
    if (text[i] == '\n') ++line;
    if (IsSeparator(text[i])) {
      ++i;
      continue;
    }
    const qsizetype start = i;
    while (i < text.size() && !IsSeparator(text[i])) ++i;
    if (!token(QByteArrayView(text).sliced(start, i - start), line)) return;
  }
}

// The digits of a token without its "0x" or "$"; empty when it has no digits.
QByteArrayView Digits(QByteArrayView token) {
  if (token.startsWith("0x") || token.startsWith("0X")) return token.sliced(2);
  if (token.startsWith('$')) return token.sliced(1);
  return token;
}

QString Shown(QByteArrayView token) {
  constexpr qsizetype kMax = 20;
  QString text = QString::fromLatin1(token.first(std::min(token.size(), kMax)));
  if (token.size() > kMax) text += QChar(0x2026);
  return text;
}

}  // namespace

SysexFile SysexFile::Failed(QString error) {
  SysexFile file;
  file.FError = std::move(error);
  return file;
}

SysexFile SysexFile::Load(const QString& path) {
  const QFileInfo info(path);
  const QString name = info.fileName();
  if (!info.exists()) return Failed(QStringLiteral("Fichier introuvable : %1").arg(name));
  if (!info.isFile()) return Failed(QStringLiteral("%1 n'est pas un fichier.").arg(name));
  if (info.size() > MaxFileBytes) {
    return Failed(QStringLiteral("Fichier trop grand : %1 (%2 au plus).")
                      .arg(ByteCountText(info.size()), ByteSizeText(MaxFileBytes)));
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return Failed(QStringLiteral("Impossible de lire %1.").arg(name));
  // A file that grows while it is read is not read beyond the limit either.
  const QByteArray content = file.read(MaxFileBytes + 1);
  if (file.error() != QFileDevice::NoError) return Failed(QStringLiteral("Impossible de lire %1.").arg(name));
  if (content.size() > MaxFileBytes) {
    return Failed(QStringLiteral("Fichier trop grand : plus de %1.").arg(ByteSizeText(MaxFileBytes)));
  }
  return Parse(content);
}

SysexFile SysexFile::Parse(const QByteArray& bytes) {
  // Text saved with a byte-order mark is still text; the same three bytes
  // before raw bytes are bytes outside a message.
  const auto isText = [](const QByteArray& text) {
    return !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), IsTextByte);
  };
  const QByteArray afterMark = bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes;
  const bool text = isText(afterMark);
  const QByteArray content = text ? afterMark : bytes;
  SysexFile file;
  file.FHexText = text;
  if (file.FHexText) {
    QString error;
    file.FBytes.reserve(content.size() / 2);
    ForEachToken(content, [&](QByteArrayView token, int line) {
      const QByteArrayView digits = Digits(token);
      bool ok = !digits.isEmpty() && digits.size() % 2 == 0;
      for (qsizetype i = 0; ok && i < digits.size(); i += 2) {
        const int high = HexDigit(digits[i]);
        const int low = HexDigit(digits[i + 1]);
        ok = high >= 0 && low >= 0;
        if (ok) file.FBytes.append(static_cast<char>(high * 16 + low));
      }
      if (!ok) error = QStringLiteral("Texte hexadécimal illisible ligne %1 : « %2 ».").arg(line).arg(Shown(token));
      return ok;
    });
    if (!error.isEmpty()) return Failed(error);
  } else {
    file.FBytes = content;
  }
  if (file.FBytes.isEmpty()) return Failed(QStringLiteral("Fichier vide."));
  file.FError = file.Split(content);
  if (!file.Ok()) {
    file.FBytes.clear();
    file.FEnds.clear();
  }
  return file;
}

QString SysexFile::Split(const QByteArray& source) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(FBytes.constData());
  const qsizetype size = FBytes.size();
  if (!FBytes.contains(static_cast<char>(0xF0))) return QStringLiteral("Aucun message SysEx (F0) dans le fichier.");
  qsizetype i = 0;
  while (i < size) {
    const qsizetype number = MessageCount() + 1;
    if (bytes[i] != 0xF0) {
      return QStringLiteral("Octet %1 hors d'un message SysEx (%2).").arg(HexByteText(bytes[i]), Where(source, i));
    }
    const qsizetype start = i++;
    while (i < size && bytes[i] < 0x80) ++i;
    if (i == size) return QStringLiteral("Message %1 incomplet : F7 manquant à la fin du fichier.").arg(number);
    if (bytes[i] != 0xF7) {
      return QStringLiteral("Octet d'état %1 dans le message %2 (%3).")
          .arg(HexByteText(bytes[i]))
          .arg(number)
          .arg(Where(source, i));
    }
    ++i;
    if (i - start > MaxMessageBytes) {
      return QStringLiteral("Message %1 trop long : %2 (%3 au plus).")
          .arg(number)
          .arg(ByteCountText(i - start), ByteCountText(MaxMessageBytes));
    }
    FEnds.push_back(static_cast<quint32>(i));
  }
  return {};
}

QString SysexFile::Where(const QByteArray& source, qsizetype index) const {
  if (!FHexText) return QStringLiteral("octet %1 du fichier").arg(GroupedNumber(index + 1));
  // Found again by counting bytes, rather than keeping a line for each byte.
  int where = 0;
  qsizetype seen = 0;
  ForEachToken(source, [&](QByteArrayView token, int line) {
    seen += Digits(token).size() / 2;
    where = line;
    return seen <= index;
  });
  return QStringLiteral("ligne %1").arg(where);
}

std::span<const uint8_t> SysexFile::Message(qsizetype index) const {
  const quint32 start = index == 0 ? 0 : FEnds[static_cast<size_t>(index - 1)];
  const quint32 end = FEnds[static_cast<size_t>(index)];
  return {reinterpret_cast<const uint8_t*>(FBytes.constData()) + start, end - start};
}

qsizetype SysexFile::MessageSize(qsizetype index) const { return static_cast<qsizetype>(Message(index).size()); }
