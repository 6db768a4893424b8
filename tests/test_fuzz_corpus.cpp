// Replays every saved input of each fuzz target: the inputs that once found
// a fault and the ones that reach the parsers' corners. A broken invariant
// aborts the test process with the invariant and the input file named.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <ostream>
#include <string>

#include "tests/fuzz_targets.h"

// Names the target in test names instead of its bytes.
void PrintTo(const FuzzTarget& target, std::ostream* os)
{
    *os << target.name;
}

namespace {

QString corpus_dir(const char* target)
{
    return QStringLiteral(PALU_TEST_DIR "/../fuzz/corpus/") + QString::fromUtf8(target);
}

class FuzzCorpus : public testing::TestWithParam<FuzzTarget> {};

} // namespace

TEST_P(FuzzCorpus, EverySavedInputKeepsTheInvariants)
{
    const FuzzTarget target = GetParam();
    const QDir dir(corpus_dir(target.name));
    const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::Name);
    // An empty or missing corpus would pass without checking anything.
    ASSERT_GE(files.size(), 5) << "corpus too small: " << dir.absolutePath().toStdString();
    for (const QFileInfo& fi : files) {
        QFile f(fi.absoluteFilePath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << fi.absoluteFilePath().toStdString();
        const QByteArray bytes = f.readAll();
        const std::string name = fi.absoluteFilePath().toStdString();
        fuzz_current_input = name.c_str();
        EXPECT_EQ(target.run(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())), 0)
            << name;
        fuzz_current_input = nullptr;
    }
}

INSTANTIATE_TEST_SUITE_P(, FuzzCorpus, testing::ValuesIn(kFuzzTargets, kFuzzTargets + kFuzzTargetCount),
                         [](const testing::TestParamInfo<FuzzTarget>& info) { return std::string(info.param.name); });
