#pragma once

#include <cstdint>
#include <stdexcept>

#include <QDateTime>
#include <QString>

class QWidget;

namespace tavrel::app {

// Raised by THalvo::ShellExecute; the text has the form "System Error.  Code: %d." + line break + message.
class EOSError : public std::runtime_error {
  public:
    EOSError(int code, const QString& message);
    int Code() const noexcept { return FCode; }

  private:
    int FCode;
};

// Application-side helpers of the support record: message boxes, build information, opening files.
// The pure conversions live in tavrel::protocol::THalvo and the message-pumping wait in the link layer.
class THalvo {
  public:
    enum TMesssageIcon : std::uint8_t { ICONWARNING = 0, ICONINFORMATION = 1, ICONQUESTION = 2, ICONERROR = 3 };
    enum TMessageButton : std::uint8_t {
        OK = 0,
        OKCANCEL = 1,
        YESNO = 2,
        YESNOCANCEL = 3,
        RETRYCANCEL = 4,
        ABORTRETRYIGNORE = 5
    };
    enum TMessageLanguage : std::uint8_t { RUS = 0, ENG = 1 };

    // Result codes of the button pressed, as the platform's message box reports them.
    static constexpr int IDOK = 1;
    static constexpr int IDCANCEL = 2;
    static constexpr int IDABORT = 3;
    static constexpr int IDRETRY = 4;
    static constexpr int IDIGNORE = 5;
    static constexpr int IDYES = 6;
    static constexpr int IDNO = 7;

    // Modal message box owned by `h` (may be null). Answers the code of the button pressed, 0 when no
    // box can be shown (no QApplication).
    static int MessageDialog(QWidget* h, const QString& Text, TMesssageIcon icon, TMessageButton buttons,
                             TMessageLanguage language);
    static QString MessageCaption(TMesssageIcon icon, TMessageLanguage language);

    // Opens `AFileName` with the desktop's associated program (only the "open" verb; no command line is
    // ever built, so parameters must be empty). Throws std::invalid_argument for an empty file name, an
    // unknown verb or parameters, EOSError when the file cannot be opened. Answers 0: the desktop
    // service does not tell the process id.
    static std::uint32_t ShellExecute(QWidget* AWnd, const QString& AOperation, const QString& AFileName,
                                      const QString& AParameters, const QString& ADirectory, int AShowCmd);

    // Build time stamp of this executable ("ddmmyy.hhnnss" in local time after `Text`), or only the
    // four-digit year when `onlyYear` is true.
    static QString GetAppVersion(bool onlyYear, const QString& Text);
    static QString FormatAppVersion(const QDateTime& buildTime, bool onlyYear, const QString& Text);
    static QDateTime BuildTime();
    // `Text` with its "%s" replaced by the year, or by "yearBuild - linkYear" when yearBuild is earlier.
    static QString GetAppBuildYear(int yearBuild, const QString& Text);
    static QString GetAppBuildYear(int yearBuild, const QString& Text, int linkYear);

    // True while a debugger (any tracer) is attached to this process.
    static bool isDebug();
    // Whether this is a 32-bit build, and its bitness text "32" / "64".
    static bool isAppX32_64();
    static QString AppX32_64();
    // On Linux there is no switchable leak report in the allocator: an asan build reports leaks at exit
    // through LeakSanitizer (ASAN_OPTIONS=detect_leaks=1), other builds report nothing. Does nothing.
    static void DetectMemoryLeak(bool onlyDebug);
};

}  // namespace tavrel::app
