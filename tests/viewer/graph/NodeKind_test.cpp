#include "viewer/graph/NodeKind.h"

#include <gtest/gtest.h>

TEST(NodeKindOfContentType, MapsEachMediaTypePrefix) {
    EXPECT_EQ(NodeKindOfContentType("audio/mpeg"), NodeKind::Audio);
    EXPECT_EQ(NodeKindOfContentType("text/html"), NodeKind::Html);
    EXPECT_EQ(NodeKindOfContentType("text/html; charset=iso-8859-1"), NodeKind::Html);
    EXPECT_EQ(NodeKindOfContentType("text/plain"), NodeKind::Text);
    EXPECT_EQ(NodeKindOfContentType("image/gif"), NodeKind::Image);
    EXPECT_EQ(NodeKindOfContentType("video/mpeg"), NodeKind::Video);
    EXPECT_EQ(NodeKindOfContentType("application/zip"), NodeKind::Zip);
    EXPECT_EQ(NodeKindOfContentType("application/pdf"), NodeKind::Application);
}

TEST(NodeKindOfContentType, MoreSpecificPrefixWinsOverGeneralOne) {
    EXPECT_EQ(NodeKindOfContentType("text/htmlx"), NodeKind::Html);
    EXPECT_EQ(NodeKindOfContentType("text/htm"), NodeKind::Text);
    EXPECT_EQ(NodeKindOfContentType("application/zipped"), NodeKind::Zip);
    EXPECT_EQ(NodeKindOfContentType("application/x-zip"), NodeKind::Application);
}

TEST(NodeKindOfContentType, AnythingElseIsOther) {
    EXPECT_EQ(NodeKindOfContentType(""), NodeKind::Other);
    EXPECT_EQ(NodeKindOfContentType("html"), NodeKind::Other);
    EXPECT_EQ(NodeKindOfContentType("multipart/mixed"), NodeKind::Other);
    EXPECT_EQ(NodeKindOfContentType(" text/html"), NodeKind::Other);
    EXPECT_EQ(NodeKindOfContentType("audio"), NodeKind::Other);
}
