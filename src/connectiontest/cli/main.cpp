// orvalis-linktest: the connection test of Orvalis from the command line, for
// scripts and test racks. No window and no display: Qt Core only.
#include <QCoreApplication>

#include <unistd.h>

#include <cstdio>
#include <variant>

#include "LinkTestCommand.h"
#include "LinkTestReport.h"
#include "MidiServices.h"
#include "backends/SystemMidiServices.h"

namespace {

void Print(std::FILE* stream, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::variant<LinkTestOptions, QString> parsed = ParseLinkTestOptions(QCoreApplication::arguments());
  if (const QString* error = std::get_if<QString>(&parsed)) {
    Print(stderr, QStringLiteral("orvalis-linktest: %1\nTry 'orvalis-linktest --help' for more information.\n").arg(*error));
    return LinkTestError;
  }
  const LinkTestOptions& options = std::get<LinkTestOptions>(parsed);
  switch (options.What) {
    case LinkTestOptions::Action::Help:
      Print(stdout, LinkTestUsage());
      return LinkTestPassed;
    case LinkTestOptions::Action::Version:
      std::printf("orvalis-linktest %s\n", ORVALIS_VERSION);
      return LinkTestPassed;
    case LinkTestOptions::Action::List:
    case LinkTestOptions::Action::Run:
      break;
  }
  const LinkTestConsole console{[](const QString& text) { Print(stdout, text); },
                                [](const QString& text) { Print(stderr, text); }, isatty(STDERR_FILENO) == 1};
  // The services go before the application object.
  const ScopedMidiServices services(CreateSystemMidiServices());
  if (options.What == LinkTestOptions::Action::List) return ListLinkTestDevices(options, console);
  return RunLinkTest(options, console);
}
