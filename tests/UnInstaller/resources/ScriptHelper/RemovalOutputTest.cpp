// How a removal run hands its lines to its output: whole lines, in order, written out at most once
// per module and at the points where the run may wait.

#include "RemovalRunFixture.h"

#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"
#include "UnInstaller/resources/ScriptHelper/RemovalRun.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace {

/// An output that keeps what each flush of the stream wrote out, as one chunk.
class ChunkedOutput : public std::streambuf {
public:
    std::vector<std::string> chunks;

protected:
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            m_pending += traits_type::to_char_type(c);
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* data, std::streamsize count) override
    {
        m_pending.append(data, static_cast<std::size_t>(count));
        return count;
    }
    int sync() override
    {
        if (!m_pending.empty())
            chunks.push_back(std::move(m_pending));
        m_pending.clear();
        return 0;
    }

private:
    std::string m_pending;
};

/// The kind of each line of text.
std::vector<std::string> kinds(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line.substr(0, line.find(' ')));
    return result;
}

TEST_F(RemovalRun, OutputIsWrittenOutOncePerModuleInWholeLines)
{
    writeRegistry(modules);
    writePlan({{"UUID-ALPHA", at("/Library/Printers/Tavix/Alpha")},
               {"UUID-MISSING", at("/Library/Printers/Tavix/Missing")},
               {"UUID-BETA", at("/Library/Printers/Tavix/Beta")},
               {"UUID-GAMMA", at("/Library/Printers/Tavix/Gamma")}});
    ChunkedOutput output;
    std::ostream out(&output);

    EXPECT_EQ(scripthelper::RemovalRun(out, false).run(), 0);

    std::string text;
    for (const std::string& chunk : output.chunks) {
        ASSERT_FALSE(chunk.empty());
        EXPECT_EQ(chunk.back(), '\n') << chunk;
        text += chunk;
    }
    EXPECT_EQ(kinds(text), (std::vector<std::string>{"total", "module", "removed", "folder-removed", "module",
                                                     "absent", "module", "removed", "folder-removed", "module",
                                                     "removed", "folder-removed", "registry-updated", "end"}));
    // The count of entries, then each module removed together with the lines before it, then
    // the registry written and the end.
    EXPECT_EQ(output.chunks.size(), 6u);
    ASSERT_GE(output.chunks.size(), 2u);
    EXPECT_EQ(kinds(output.chunks[0]), std::vector<std::string>{"total"});
    EXPECT_EQ(kinds(output.chunks[1]), (std::vector<std::string>{"module", "removed", "folder-removed"}));
    EXPECT_EQ(kinds(output.chunks.back()), std::vector<std::string>{"end"});
}

TEST_F(RemovalRun, ARefusedRunStillWritesOutItsLine)
{
    writeRegistry(modules);
    writeText(planPath, "not a plan");
    ChunkedOutput output;
    std::ostream out(&output);

    EXPECT_NE(scripthelper::RemovalRun(out, false).run(), 0);

    ASSERT_EQ(output.chunks.size(), 1u);
    EXPECT_EQ(kinds(output.chunks[0]), std::vector<std::string>{"refused"});
}

}  // namespace
