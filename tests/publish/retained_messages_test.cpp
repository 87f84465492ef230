// The retained messages, with no broker: what goes out when, in
// which order, and what a connection publishes again.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "publish/retained_messages.h"

namespace {

using namespace tessline;

// Records what the retained messages send, as "topic=payload" lines.
class RecordingSink : public MessageSink {
public:
    bool connected() const override { return isConnected; }
    bool send(const std::string& topic, const std::string& payload, int qos, bool retained) override {
        EXPECT_EQ(qos, kRetainedQos) << topic;
        EXPECT_TRUE(retained) << topic;
        sent.push_back(topic + "=" + payload);
        return true;
    }
    std::vector<std::string> takeSent() { return std::exchange(sent, {}); }

    bool isConnected = false;
    std::vector<std::string> sent;
};

using Lines = std::vector<std::string>;

TEST(RetainedMessages, EveryConnectionRepublishesAllInOrder) {
    RecordingSink sink;
    Topics topics("b");
    RetainedMessages retained(topics, sink);
    retained.setTable("I1", {{"d/1", "c1"}, {"d/2", "c2"}});
    retained.setHistory("H1");
    EXPECT_EQ(sink.takeSent(), Lines{}) << "nothing goes before a connection";
    sink.isConnected = true;
    retained.publishOnConnection();
    EXPECT_EQ(sink.takeSent(), (Lines{"b/info=I1", "d/1=c1", "d/2=c2", "b/history=H1", "b/status=online"}));
    retained.publishOnConnection();
    EXPECT_EQ(sink.takeSent().size(), 5u) << "again at the next connection";
}

TEST(RetainedMessages, NoHistoryUntilOneIsSet) {
    RecordingSink sink;
    sink.isConnected = true;
    Topics topics("b");
    RetainedMessages retained(topics, sink);
    retained.setTable("I1", {});
    EXPECT_EQ(sink.takeSent(), (Lines{"b/info=I1", "b/status=online"}));
    retained.setHistory("H1");
    EXPECT_EQ(sink.takeSent(), (Lines{"b/history=H1"}));
}

TEST(RetainedMessages, LinkLostSaysOfflineUntilTheNextTable) {
    RecordingSink sink;
    Topics topics("b");
    RetainedMessages retained(topics, sink);
    retained.setTable("I1", {});
    retained.setLinkUp(false);
    // Goes to the client even while it is disconnected: the library keeps it.
    EXPECT_EQ(sink.takeSent(), (Lines{"b/status=offline"}));
    sink.isConnected = true;
    retained.publishOnConnection();
    EXPECT_EQ(sink.takeSent(), (Lines{"b/info=I1", "b/status=offline"}));
    retained.setTable("I2", {});
    EXPECT_EQ(sink.takeSent(), (Lines{"b/info=I2", "b/status=online"}));
    retained.sayOffline();
    EXPECT_EQ(sink.takeSent(), (Lines{"b/status=offline"}));
}

}  // namespace
