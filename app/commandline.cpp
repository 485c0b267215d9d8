#include "app/commandline.h"

#include "flow/queryform.h"
#include "records/recordformat.h"

#include <QDir>

#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

/// A windowed program on Windows has no standard output unless it was
/// redirected; it borrows the console of the prompt that started it.
void reachConsole()
{
#ifdef Q_OS_WIN
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((out == nullptr || out == INVALID_HANDLE_VALUE || GetFileType(out) == FILE_TYPE_UNKNOWN)
        && AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::FILE *console = nullptr;
        freopen_s(&console, "CONOUT$", "w", stdout);
    }
#else
    // Standard output is already the terminal, pipe or file the caller gave.
#endif
}

QByteArray reviewHelpText()
{
    return QStringLiteral(
               "Usage: calculus-study-review [--help | --version]\n"
               "\n"
               "Reviews your own weak questions of the course Applied Calculus I: it asks for\n"
               "your name and the folder of your files (as calculus-study does), reads %1\n"
               "there and offers, oldest first, the questions whose last answer you were sure\n"
               "of and then needed to correct, those you were unsure of, and those with a weak\n"
               "self-critique. Each new answer is recorded as calculus-study records it, after\n"
               "its assignment's header record. It ends with your calibration card.\n"
               "\n"
               "  --help     print this text and exit\n"
               "  --version  print the version and exit\n"
               "\n"
               "Any other argument is ignored. The manual page is calculus-study-review(1).\n")
        .arg(recordformat::masterFileName)
        .toLocal8Bit();
}

QByteArray classReportHelpText()
{
    return QByteArrayLiteral(
        "Usage: calculus-study-class-report [--help | --version]\n"
        "\n"
        "The instructor's class report without a console: it asks for the class folder\n"
        "(a folder of the students' folders) and, if there is one, the class's roster\n"
        "(a CSV file), runs calculus-study-report from its own folder to write the\n"
        "report's pages into the folder \"NAME report\" beside the class folder, shows\n"
        "its progress, and opens the pages' index in the default browser.\n"
        "\n"
        "  --help     print this text and exit\n"
        "  --version  print the version and exit\n"
        "\n"
        "Any other argument is ignored. The manual page is calculus-study-class-report(1).\n");
}

QByteArray helpText()
{
    const QString folder = QDir::toNativeSeparators(QueryForm::systemDefaultFolder());
    return QStringLiteral(
               "Usage: calculus-study [--help | --version]\n"
               "\n"
               "A study program for the course Applied Calculus I. It asks for your name,\n"
               "the folder for your files and an assignment number, then steps through the\n"
               "assignment's questions and worked answers. What you record is appended,\n"
               "time-stamped, to %2, %3MMDD%4 and %5 in that folder\n"
               "(Windows-1252, CR LF line endings). The folder is %1\n"
               "unless you choose another.\n"
               "\n"
               "  --help     print this text and exit\n"
               "  --version  print the version and exit\n"
               "\n"
               "Any other argument is ignored. The manual page is calculus-study(1).\n")
        .arg(folder, recordformat::masterFileName, recordformat::sendFilePrefix, recordformat::sendFileSuffix,
             recordformat::notesFileName)
        .toLocal8Bit();
}

void print(const QByteArray &text)
{
    reachConsole();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}

} // namespace

bool answerCommandLine(int argc, char *argv[], Program program)
{
    const char *name = program == Program::Review        ? "calculus-study-review "
                       : program == Program::ClassReport ? "calculus-study-class-report "
                                                         : "calculus-study ";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            print(program == Program::Review        ? reviewHelpText()
                  : program == Program::ClassReport ? classReportHelpText()
                                                    : helpText());
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            print(QByteArray(name)
                  + QByteArrayLiteral(CALCULUS_STUDY_VERSION "\n"
                                      "Copyright 2026 Calculus Study maintainers; MIT licence.\n"));
            return true;
        }
    }
    return false;
}
