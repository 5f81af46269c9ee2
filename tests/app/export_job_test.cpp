// The export writer's rules beyond the bytes of its lines: the name rules of the dialog and the
// frame pages, Cancel part-way, and failures that must leave the earlier files and the data files
// as they were.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "app/export/export_options.h"
#include "tests/app/export_fixture.h"

namespace sitedex::app::exporting {
namespace {

using sitedex::testing::readFile;
using sitedex::testing::writeFile;
using testing::ExportTest;

TEST(ExportNames, TypedNameGetsItsExtensionInTheFileNamePartOnly) {
    struct Case {
        const char* typed;
        ExportType type;
        const char* expected;
    } cases[] = {
        {"Links", ExportType::kTable, "links.htm"},
        {"MyLinks", ExportType::kCommaDelimited, "mylinks.txt"},
        {"MyLinks", ExportType::kAscii, "mylinks.txt"},
        {"Marks", ExportType::kBookmarkFile, "marks.htm"},
        {"/Home/Me/Web Pages/Links", ExportType::kSimple, "/Home/Me/Web Pages/links.htm"},
        {"/home/me/my.site/Links", ExportType::kFrame, "/home/me/my.site/links.htm"},  // the folder's dot
        {"Links.HTM", ExportType::kAscii, "Links.HTM"},                                // a dot: as typed
        {"/Home/Me/Links.Old", ExportType::kTable, "/Home/Me/Links.Old"},
        {"CAFÉ", ExportType::kTable, "cafÉ.htm"},  // ASCII letters only
    };
    for (const Case& c : cases)
        EXPECT_EQ(exportFileName(c.typed, c.type), c.expected) << c.typed;
}

TEST(ExportNames, FramePagesBaseName) {
    const std::pair<const char*, const char*> cases[] = {
        {"MYLINKS.HTM", "MYLINKS"},         // 7 characters: as it is
        {"LINKS.HTM", "LINKS_"},            // shorter: "_" added
        {"WEBLINKS.HTM", "WEBLINK"},        // longer: the last one dropped
        {"/web/LINKS.HTM", "/web/LINKS_"},  // folders do not count
        {"D:\\WEB\\LINKS.HTM", "D:\\WEB\\LINKS_"},
        {"/my.site/MYLINKS.HTM", "/my.site/MYLINKS"},  // the first dot of the file name
        {"links.v2.htm", "links_"},
        {"NODOT", "NODOT_"},
        {"ÉTOILES.htm", "ÉTOILES"},  // characters, not bytes
        {"ÉTOILESX.htm", "ÉTOILES"},
        {"/web/ÅÅÅÅÅÅÅÅ.htm", "/web/ÅÅÅÅÅÅÅ"},  // a character dropped whole
    };
    for (const auto& [name, base] : cases)
        EXPECT_EQ(frameBaseName(name), base) << name;
}

TEST_F(ExportTest, FrameExportNamesItsPagesAndReachesTheTenthPage) {
    fillFixture();
    const Outcome r = runExport(options(ExportType::kFrame));
    ASSERT_TRUE(r.succeeded) << r.error;
    std::vector<std::string> names;
    for (const std::string& f : r.files)
        names.push_back(std::filesystem::path(f).filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"MYLINKS.HTM", "MYLINKSm.htm", "MYLINKS1.htm", "MYLINKS2.htm",
                                               "MYLINKS3.htm", "MYLINKS4.htm", "MYLINKS5.htm", "MYLINKS6.htm",
                                               "MYLINKS7.htm", "MYLINKS8.htm", "MYLINKS9.htm", "MYLINK10.htm",
                                               "MYLINK11.htm", "MYLINKSc.htm", "MYLINKSb.htm"}));
    for (const auto& [file, base] : {std::pair{"LINKS.HTM", "LINKS_"}, std::pair{"WEBLINKS.HTM", "WEBLINK"}}) {
        ExportOptions o = options(ExportType::kFrame);
        o.fileName = m_dir.file(file);
        const Outcome other = runExport(o);
        ASSERT_TRUE(other.succeeded) << other.error;
        const std::string frameset = readFile(o.fileName);
        for (const char* page : {"c.htm", "m.htm", "b.htm"}) {
            EXPECT_NE(frameset.find("src=\"" + std::string(base) + page + "\""), std::string::npos) << file << page;
            EXPECT_TRUE(std::filesystem::exists(m_dir.file(std::string(base) + page))) << file << page;
        }
        EXPECT_TRUE(
            std::filesystem::exists(m_dir.file(std::string(base).substr(0, std::string(base).size() - 1) + "10.htm")));
    }
}

TEST_F(ExportTest, CancelPartWayStillWritesACompletePage) {
    fillFixture();
    for (ExportType type : {ExportType::kSimple, ExportType::kTable, ExportType::kFrame, ExportType::kBookmarkFile}) {
        SCOPED_TRACE(std::string(typeText(type)));
        ExportOptions o = options(type);
        o.fileName = m_dir.file("cancelled.htm");
        const Outcome r = runExport(o, 3);  // cancelled after the header and three locations
        ASSERT_TRUE(r.succeeded) << r.error;
        EXPECT_EQ(r.exported, 3);
        const std::string page = readFile(o.fileName);
        if (type == ExportType::kBookmarkFile) {
            EXPECT_TRUE(page.ends_with("    </DL><p>\r\n</DL><p>\r\n"));
        } else {
            EXPECT_TRUE(
                page.ends_with(type == ExportType::kFrame ? "</frameset>\r\n</html>\r\n" : "</body></html>\r\n"));
            EXPECT_NE(page.find("<h2>Index</h2>"), std::string::npos);
            EXPECT_NE(page.find("<li><a href=\"#URL1\">Art</a></li>"), std::string::npos);
            EXPECT_NE(page.find("<p>Made with care</p>"), std::string::npos);
        }
    }
    for (const std::string& n : folderNames())
        EXPECT_FALSE(n.ends_with(".tmp")) << n;
}

TEST_F(ExportTest, LocationsWithoutACategoryFormAGroupOfTheirOwn) {
    addCategory("Art");
    addLocation("http://loose.example/", "Loose <one>", "");
    addLocation("http://art.example/", "Art", "Art");
    struct Case {
        ExportType type;
        std::vector<std::string> expected;  // in this order
    } cases[] = {
        {ExportType::kSimple,
         {"<ul>\r\n<h3><a name=\"URL1\">No Category</a></h3></p><p align=left>\r\n<li><a "
          "href=\"http://loose.example/\">",
          "<h3><a name=\"URL2\">Art</a></h3>", "<li><a href=\"#URL1\">No Category</a></li>"}},
        {ExportType::kTable,
         {"<h3><a name=\"URL1\">No Category</a></h3>\r\n</td></tr>\r\n<tr><td><li><a href=\"http://loose.example/\">",
          "<h3><a name=\"URL2\">Art</a></h3>", "<li><a href=\"#URL1\">No Category</a></li>"}},
        {ExportType::kFrame,
         {"<h3><a name=\"URL1\">No Category</a></h3>",
          "==> MYLINKSm.htm <==\n<html><head><meta charset=\"utf-8\"><title>No Category</title>",
          "<tr><td><a href=\"MYLINKSm.htm\">No Category</a></td></tr>\r\n<tr><td><a href=\"MYLINKS1.htm\">Art</a>"}},
        {ExportType::kBookmarkFile,
         {"<DL><p>\r\n    <DT><A HREF=\"http://loose.example/\">Loose &lt;one&gt;</A>\r\n    <DT><H3>Art</H3>"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(typeText(c.type)));
        const Outcome r = runExport(options(c.type));
        ASSERT_TRUE(r.succeeded) << r.error;
        const std::string all = allOutput(r.files);
        size_t at = 0;
        for (const std::string& e : c.expected) {
            const size_t found = all.find(e, at);
            ASSERT_NE(found, std::string::npos) << e << "\nin:\n" << all;
            at = found + e.size();
        }
    }
}

// A site info of 1000 characters makes lines far longer than 512 bytes: the web pages and the
// comma-delimited file keep them whole (closing tags, the next columns), "ASCII" cuts at 512.
TEST_F(ExportTest, LongLinesAreWrittenWholeExceptInAscii) {
    addCategory("Art");
    std::string info;
    while (info.size() < 1000)
        info += "Tom & Jerry \"quoted\" ";
    info.resize(1000);
    data::SITEDX.clear();
    data::setString(data::findField("URL:LOCATION"), "http://long.example/");
    data::setString(data::findField("URL:CATEGORY"), "Art");
    data::setNumber(data::findField("URL:RATING"), 4);
    data::setMemo(data::SITEDX, 0, info);
    ASSERT_EQ(data::add(data::SITEDX), 0);
    std::string escaped, doubled;
    for (char c : info) {
        escaped += c == '&' ? std::string("&amp;") : std::string(1, c);
        doubled += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    const std::pair<ExportType, std::string> cases[] = {
        {ExportType::kSimple, "\r\n" + escaped + "\r\n ** Rating: 4 **\r\n"},
        {ExportType::kTable, "\r\n<td>" + escaped + "</td>\r\n<td>Rating:  4</td></tr>\r\n"},
        {ExportType::kBookmarkFile, "\r\n        <DD>" + escaped + "\r\n"},
        {ExportType::kCommaDelimited, "\"Art\",\"http://long.example/\",\"\",\"" + doubled + "\",4\r\n"},
    };
    for (const auto& [type, expected] : cases) {
        const Outcome r = runExport(options(type));
        ASSERT_TRUE(r.succeeded) << r.error;
        EXPECT_NE(readFile(r.files.front()).find(expected), std::string::npos) << typeText(type);
    }
    const Outcome ascii = runExport(options(ExportType::kAscii));
    ASSERT_TRUE(ascii.succeeded);
    const std::string line = readFile(ascii.files.front());
    EXPECT_EQ(line, std::string("Art") + std::string(27, ' ') + " http://long.example/" + std::string(235, ' ') + " " +
                        std::string(100, ' ') + " " + info.substr(0, 124) + "\r\n");
}

// The data files' bytes, to show that an export changes none of them.
std::string dataFiles() {
    std::string all;
    for (const char* f : {"URL_L", "URL_C", "URL_H"})
        all += readFile(f);
    return all;
}

TEST_F(ExportTest, BadNamesFailClearlyAndChangeNothing) {
    fillFixture();
    data::closeAllFiles();
    const std::string before = dataFiles();
    openFile(data::Categories);
    openFile(data::CatHTML);
    openFile(data::SITEDX);
    std::filesystem::create_directory(m_dir.file("folder.htm"));
    const bool root = ::geteuid() == 0;
    const std::string locked = m_dir.file("locked");
    std::filesystem::create_directory(locked);
    ::chmod(locked.c_str(), 0555);
    struct Case {
        std::string name;
        const char* message;
    } cases[] = {
        {m_dir.file("folder.htm"), ": that name belongs to a folder; choose a file name."},
        {root ? std::string("/sys/sitedex-export.htm") : locked + "/out.htm", ": Access Denied (5)"},
        {m_dir.file("missing/out.htm"), ": Path Not Found (3)"},
        // Names the system refuses for their length: said before anything is written.
        {m_dir.file(std::string(300, 'x') + ".htm"),
         ": the file name is 304 bytes long, more than the 255 its folder allows; choose a shorter name."},
        {m_dir.file(std::string(5000, 'y') + "/out.htm"), ": the name is longer than the system allows (4095 bytes)."},
    };
    for (const Case& c : cases) {
        ExportOptions o = options(ExportType::kTable);
        o.fileName = c.name;
        const Outcome r = runExport(o);
        EXPECT_FALSE(r.started) << c.name;
        EXPECT_FALSE(r.succeeded);
        EXPECT_EQ(r.error,
                  "Error opening " + c.name + c.message + "\nThe export was stopped and no earlier file was replaced.");
    }
    data::closeAllFiles();
    EXPECT_TRUE(dataFiles() == before) << "the data files changed";
    EXPECT_TRUE(std::filesystem::is_directory(m_dir.file("folder.htm")));
    for (const std::string& n : folderNames())
        EXPECT_FALSE(n.ends_with(".tmp")) << n;
}

TEST_F(ExportTest, ExportReplacesAnEarlierFileOnlyWhenItSucceeds) {
    fillFixture();
    const std::string folder = m_dir.file("site");
    std::filesystem::create_directory(folder);
    ExportOptions o = options(ExportType::kTable);
    o.fileName = folder + "/links.htm";
    writeFile(o.fileName, "the earlier export\n");
    ::chmod(o.fileName.c_str(), 0640);

    // The disk fills up part-way (here: the largest file the process may write is 4 KB).
    {
        struct rlimit old {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &small);
        const Outcome r = runExport(o);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldSignal);
        EXPECT_FALSE(r.succeeded);
        EXPECT_TRUE(r.error.starts_with("Error adding to " + o.fileName + ": ")) << r.error;
        EXPECT_TRUE(r.error.ends_with("\nThe export was stopped and no earlier file was replaced.")) << r.error;
    }
    EXPECT_EQ(readFile(o.fileName), "the earlier export\n");
    for (const auto& e : std::filesystem::directory_iterator(folder))
        EXPECT_EQ(e.path().filename(), "links.htm") << "left behind: " << e.path();

    // A run that succeeds replaces it, keeping its permissions.
    const Outcome r = runExport(o);
    ASSERT_TRUE(r.succeeded) << r.error;
    EXPECT_TRUE(readFile(o.fileName).starts_with("<html><head>"));
    struct stat st {};
    ASSERT_EQ(::stat(o.fileName.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A link is replaced where it points and stays a link.
    std::filesystem::create_symlink(o.fileName, m_dir.file("link.htm"));
    ExportOptions viaLink = options(ExportType::kAscii);
    viaLink.fileName = m_dir.file("link.htm");
    ASSERT_TRUE(runExport(viaLink).succeeded);
    EXPECT_TRUE(std::filesystem::is_symlink(m_dir.file("link.htm")));
    EXPECT_TRUE(readFile(o.fileName).starts_with("Art "));
}

TEST_F(ExportTest, FolderRemovedWhileTheExportRunsIsReported) {
    fillFixture();
    const std::string folder = m_dir.file("site");
    std::filesystem::create_directory(folder);
    ExportOptions o = options(ExportType::kFrame);
    o.fileName = folder + "/MYLINKS.HTM";
    ExportJob job(o);
    job.setStretch(std::chrono::microseconds(0));  // one location a step
    ASSERT_TRUE(job.start());
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(job.step());
    std::filesystem::remove_all(folder);
    while (job.step()) {
    }
    EXPECT_FALSE(job.succeeded());
    EXPECT_TRUE(job.error().starts_with("Error opening " + folder + "/MYLINKS")) << job.error();
    EXPECT_TRUE(job.files().empty());
    EXPECT_FALSE(std::filesystem::exists(folder));
}

}  // namespace
}  // namespace sitedex::app::exporting
