#include "tools/engine_simulator/http_request.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpRequest, ReadsTheHeadAsItArrived) {
    const std::string head =
        "GET /DBase/ HTTP/1.1\r\nContent-Type: : text\r\nContent-Length: : 4\r\ncontent-length: 4\r\n\r\n";
    HttpRequest request;
    size_t headLength = 0, bodyLength = 0;
    std::string error;
    EXPECT_EQ(HeadStatus::kIncomplete,
              ReadRequestHead(head.substr(0, head.size() - 2), &request, &headLength, &bodyLength, &error));
    ASSERT_EQ(HeadStatus::kComplete, ReadRequestHead(head + "body", &request, &headLength, &bodyLength, &error));
    EXPECT_EQ("GET", request.method);
    EXPECT_EQ("/DBase/", request.target);
    EXPECT_EQ("HTTP/1.1", request.version);
    EXPECT_EQ("Content-Type: : text\r\nContent-Length: : 4\r\ncontent-length: 4", request.headerLines);
    EXPECT_EQ(head.size(), headLength);
    // Wine's "Content-Length: : 4" is no length; the plain one is.
    EXPECT_EQ(4u, bodyLength);
}

TEST(HttpRequest, RejectsWhatIsNoRequest) {
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"no target", "GET HTTP/1.1\r\n\r\n"},
        {"no version", "GET /\r\n\r\n"},
        {"not HTTP", "GET / FTP/1.0\r\n\r\n"},
        {"extra word", "GET / x HTTP/1.1\r\n\r\n"},
        {"body too large", "GET / HTTP/1.1\r\nContent-Length: 1048577\r\n\r\n"},
        {"head too large", std::string(kMaxHeadBytes + 1, 'a')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpRequest request;
        size_t headLength = 0, bodyLength = 0;
        std::string error;
        EXPECT_EQ(HeadStatus::kMalformed, ReadRequestHead(c.text, &request, &headLength, &bodyLength, &error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
