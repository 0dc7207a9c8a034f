// main() for the fuzz targets in a build without libFuzzer: runs each file
// named on the command line, or every file of each directory named, through
// the target once. The seed corpus and the crash regressions become an
// ordinary test this way, and in the sanitizer build a regression fails it.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace
{
bool runFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    std::fprintf(stderr, "replay %s (%d bytes)\n", qPrintable(path), int(bytes.size()));
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    return true;
}
} // namespace

int main(int argc, char **argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        const QFileInfo info(arg);
        if (info.isDir()) {
            // Sorted, so that a failure names the same file on every run.
            const QStringList names = QDir(arg).entryList(QDir::Files, QDir::Name);
            for (const QString &name : names) {
                if (!runFile(QDir(arg).filePath(name)))
                    return 1;
                ++replayed;
            }
        } else if (info.exists()) {
            if (!runFile(arg))
                return 1;
            ++replayed;
        }
        // A missing path is an empty set: git keeps no empty regression folder.
    }
    std::fprintf(stderr, "%d inputs replayed\n", replayed);
    // Nothing at all means the paths are wrong, not that all went well.
    return replayed > 0 ? 0 : 1;
}
