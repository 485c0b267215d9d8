// A fuzz target's saved inputs run once each, as plain inputs, without
// libFuzzer: ctest runs every target this way (and scripts/test.sh again
// under AddressSanitizer and UBSan), so a change that breaks a target's
// checks on the inputs it was seeded with fails the suite. Each argument is
// a file, or a folder whose files are all read.

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char *argv[])
{
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo given(QFile::decodeName(argv[i]));
        QStringList files;
        if (given.isDir()) {
            for (const QString &name : QDir(given.filePath()).entryList(QDir::Files | QDir::Hidden, QDir::Name))
                files.append(given.filePath() + QLatin1Char('/') + name);
        } else {
            files.append(given.filePath());
        }
        for (const QString &path : files) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
                return 2;
            }
            const QByteArray bytes = file.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
            ++inputs;
        }
    }
    std::printf("%d inputs\n", inputs);
    return inputs > 0 ? 0 : 2;
}
