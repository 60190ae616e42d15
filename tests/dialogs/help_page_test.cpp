// The help page the help viewer is started at: one file that opens at its topic anchor, needs nothing
// from outside, and whose links inside lead somewhere.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace {

std::string ReadPage() {
    std::ifstream in(CADENZO_HELP_PAGE);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(HelpPage, OpensAtItsTopicAndIsSelfContained) {
    std::string page = ReadPage();
    ASSERT_FALSE(page.empty());
    EXPECT_NE(page.find("id=\"Main_Contents\""), std::string::npos) << "the anchor of file:Cadenzo.htm#Main_Contents";
    // Nothing is fetched: no scripts, style sheets, images or fonts from elsewhere.
    for (const char *outside : {"<link", "<script", "<img", "<iframe", "@import", "url(", "src=", "http:", "https:"})
        EXPECT_EQ(page.find(outside), std::string::npos) << outside;

    std::set<std::string> ids;
    std::regex id("id=\"([^\"]+)\"");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), id); it != std::sregex_iterator(); ++it)
        ids.insert((*it)[1]);
    std::regex href("href=\"([^\"]*)\"");
    int links = 0;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), href); it != std::sregex_iterator(); ++it, ++links) {
        std::string target = (*it)[1];
        ASSERT_FALSE(target.empty());
        EXPECT_EQ(target[0], '#') << target << ": links stay inside the page";
        EXPECT_TRUE(ids.count(target.substr(1))) << target << " leads nowhere";
    }
    EXPECT_GE(links, 8) << "the contents list links every section";
}

}  // namespace
