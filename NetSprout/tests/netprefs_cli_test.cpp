// netprefs in process, for what a binary-level test cannot arrange: another writer changing the
// store between netprefs' reading and its commit, and the usage errors.
#include <cstdio>
#include <string>
#include <vector>

#include "Netprefs.h"
#include "SCFTestSupport.h"

using namespace scftest;

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

std::string Drain(std::FILE *file)
{
    std::rewind(file);
    std::string text;
    char buffer[1024];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
        text.append(buffer, got);
    }
    std::fclose(file);
    return text;
}

Outcome Netprefs(std::vector<const char *> arguments)
{
    arguments.insert(arguments.begin(), "netprefs");
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    int status = NetprefsMain(static_cast<int>(arguments.size()), arguments.data(), out, err);
    return {status, Drain(out), Drain(err)};
}

// Another writer: renames the set "Home" in the file behind netprefs' back.
void RenameBehindTheBack(const char *storePath, void *context)
{
    auto *folder = static_cast<standintest::TempFolder *>(context);
    RunPython(*folder, std::string("import plistlib\np = '") + storePath + "'\nd = plistlib.load(open(p, 'rb'))\n"
                       "d['Sets']['S1']['UserDefinedName'] = 'Elsewhere'\nplistlib.dump(d, open(p, 'wb'))\n");
}

class NetprefsTest : public StoreTest {};

TEST_F(NetprefsTest, AStoreChangedMeanwhileIsReportedAndKeepsTheOtherWritersChange)
{
    WriteStore(kStandardStore);
    PlatformTestingSetCommitHook(RenameBehindTheBack, &folder_);
    Outcome run = Netprefs({"rename-set", "Work", "Office"});
    PlatformTestingSetCommitHook(nullptr, nullptr);
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("netprefs: rename-set: the network preferences were changed by another program meanwhile; "
              "nothing was changed, try again\n",
              run.err);
    EXPECT_EQ(R"(["Elsewhere", "Work"])",
              Stored("[d['Sets']['S1']['UserDefinedName'], d['Sets']['S2']['UserDefinedName']]"));
}

TEST_F(NetprefsTest, UsageErrorsExitWithTwo)
{
    struct Case {
        std::vector<const char *> arguments;
        const char *firstLine;
    } cases[] = {
        {{}, "netprefs: no command given"},
        {{"frobnicate"}, "netprefs: unknown command \"frobnicate\""},
        {{"use"}, "netprefs: use takes 1 argument"},
        {{"list", "extra"}, "netprefs: list takes 0 arguments"},
        {{"new-set", ""}, "netprefs: new-set: a set name must be non-empty UTF-8 text"},
        {{"new-set", "\xff"}, "netprefs: new-set: a set name must be non-empty UTF-8 text"},
    };
    for (const Case &c : cases) {
        Outcome run = Netprefs(c.arguments);
        EXPECT_EQ(2, run.status);
        EXPECT_EQ(c.firstLine, run.err.substr(0, run.err.find('\n')));
        EXPECT_EQ("", run.out);
    }
    Outcome help = Netprefs({"--help"});
    EXPECT_EQ(0, help.status);
    EXPECT_EQ("usage: netprefs list", help.out.substr(0, 20));
}

}  // namespace
