// The update engine's network against a real HTTPS server on loopback, whose
// certificate the test makes and the process trusts through SSL_CERT_FILE.
#include "AppUpdater/UpdateTransport.h"

#include "HttpsTestServer.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace AppUpdater;
using namespace std::chrono_literals;
namespace test = velmora::test;

namespace {

struct Trusted {
    test::HttpsTestServer server;
    Trusted() { qputenv("SSL_CERT_FILE", server.caFile().toLocal8Bit()); }
    ~Trusted() { qunsetenv("SSL_CERT_FILE"); }
};

std::optional<QByteArray> fetch(UpdateTransport& transport, const QUrl& url)
{
    bool answered = false;
    std::optional<QByteArray> bytes;
    transport.fetchFeed(url, [&](std::optional<QByteArray> got) {
        answered = true;
        bytes = std::move(got);
    });
    EXPECT_TRUE(test::waitUntil([&] { return answered; }, 15s));
    return bytes;
}

TEST(UpdateTransport, TheFeedOnlyFromATrustedServerThatAnswers200)
{
    Trusted trusted;
    test::HttpsTestServer& server = trusted.server;
    server.route("/feed.xml", {200, "<rss/>"});
    server.route("/not-modified", {304, ""});
    server.route("/broken", {500, "oops"});
    server.route("/silent", {200, "", std::nullopt, true});
    const QByteArray atLimit(4 * 1024 * 1024, 'x');
    server.route("/at-limit", {200, atLimit});
    server.route("/endless", {200, QByteArray(5 * 1024 * 1024, 'x')});
    server.route("/announces-too-much", {200, "<rss/>", qint64(1) << 40});
    UpdateTransport transport;
    struct Case {
        const char* name;
        QUrl url;
        std::optional<QByteArray> bytes;
    };
    const Case cases[] = {
        {"200", server.url("/feed.xml"), QByteArray("<rss/>")},
        {"304", server.url("/not-modified"), std::nullopt},
        {"500", server.url("/broken"), std::nullopt},
        {"404", server.url("/missing"), std::nullopt},
        {"no answer within 5 s", server.url("/silent"), std::nullopt},
        {"4 MiB, the most a feed may be", server.url("/at-limit"), atLimit},
        {"more than 4 MiB", server.url("/endless"), std::nullopt},
        {"a terabyte announced", server.url("/announces-too-much"), std::nullopt},
        {"plain http", QUrl("http://localhost:1/feed.xml"), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fetch(transport, c.url), c.bytes);
    }
    EXPECT_EQ(server.requests("/feed.xml"), 1);

    // A server whose certificate nobody vouched for is not believed.
    test::HttpsTestServer stranger;
    stranger.route("/feed.xml", {200, "<rss/>"});
    EXPECT_EQ(fetch(transport, stranger.url("/feed.xml")), std::nullopt);
}

TEST(UpdateTransport, AnArchiveIsKeptOnlyAtItsAnnouncedLength)
{
    Trusted trusted;
    test::HttpsTestServer& server = trusted.server;
    const QByteArray archive = QByteArray("archive bytes ").repeated(5000);
    server.route("/a.tar.xz", {200, archive});
    server.route("/cut.tar.xz", {200, archive.left(1000), archive.size()});
    UpdateTransport transport;
    QTemporaryDir dir;
    struct Case {
        const char* name;
        QUrl url;
        qint64 length;
        std::optional<UpdateDownloadError> error;
    };
    const Case cases[] = {
        {"as announced", server.url("/a.tar.xz"), archive.size(), std::nullopt},
        {"longer than announced", server.url("/a.tar.xz"), archive.size() - 1, UpdateDownloadError::wrongLength},
        {"shorter than announced", server.url("/a.tar.xz"), archive.size() + 1, UpdateDownloadError::wrongLength},
        {"cut off by the server", server.url("/cut.tar.xz"), archive.size(), UpdateDownloadError::failed},
        {"not there", server.url("/none.tar.xz"), 10, UpdateDownloadError::failed},
        {"plain http", QUrl("http://localhost:1/a.tar.xz"), archive.size(), UpdateDownloadError::notHttps},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = dir.path() + "/download";
        bool answered = false;
        std::optional<UpdateDownloadError> error;
        transport.download(c.url, c.length, file, [&](std::optional<UpdateDownloadError> got) {
            answered = true;
            error = got;
        });
        ASSERT_TRUE(test::waitUntil([&] { return answered; }, 15s));
        EXPECT_EQ(error, c.error);
        if (c.error)
            EXPECT_FALSE(QFile::exists(file)) << "nothing half-downloaded is kept";
        else
            EXPECT_EQ(test::readFile(file), archive);
    }
}

} // namespace

namespace {

// Velmora quitting in the middle of a download: the transport goes at once,
// answers nobody, and leaves what came, as a kill would, for the next start to clear.
TEST(UpdateTransport, GoingAwayEndsADownloadWithoutAnswering)
{
    Trusted trusted;
    const QByteArray archive(200 * 1024, 'a');
    trusted.server.route("/slow.tar.xz", {200, archive, {}, false, 128 * 1024});
    QTemporaryDir dir;
    const QString file = dir.path() + "/download";
    auto transport = std::make_unique<UpdateTransport>();
    bool answered = false;
    transport->download(trusted.server.url("/slow.tar.xz"), archive.size(), file,
                        [&](std::optional<UpdateDownloadError>) { answered = true; });
    ASSERT_TRUE(test::waitUntil([&] { return QFileInfo(file).size() >= 64 * 1024; }, 15s)) << QFileInfo(file).size();
    transport.reset();
    QCoreApplication::processEvents();
    EXPECT_FALSE(answered);
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_LT(QFileInfo(file).size(), archive.size());
}

} // namespace
