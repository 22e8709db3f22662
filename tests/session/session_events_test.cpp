#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/operand_access.h"
#include "session/session.h"

namespace kvx {

namespace {

const std::string Lamp = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n"
                         "LD E0.0\n= A0.0\nEND_ORGANIZATION_BLOCK\n";
// Sets bits past the end of area V whenever E0.7 is on.
const std::string Faulting = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n"
                             "LD E0.7\nS V99.0 9\nEND_ORGANIZATION_BLOCK\n";

// Writes every event down as "time name details".
class Log final : public SessionListener {
public:
    std::vector<std::string> events;

    void loaded(std::uint32_t now, const std::string& source) override {
        add(now, "loaded " + source);
    }
    void loadFailed(std::uint32_t now, const CPUException&) override { add(now, "loadFailed"); }
    void scanned(std::uint32_t now, const std::optional<CPUException>& fault) override {
        add(now, fault ? "scanned fault" : "scanned");
    }
    void faulted(std::uint32_t now, const CPUException&) override { add(now, "faulted"); }
    void runChanged(std::uint32_t now, RunChange change) override {
        constexpr const char* Names[] = {"running", "stopped", "step", "reset"};
        add(now, Names[static_cast<int>(change)]);
    }
    void speedChanged(std::uint32_t now, int faktor) override {
        add(now, "faktor " + std::to_string(faktor));
    }
    void switchSet(std::uint32_t now, int bit, int value) override {
        add(now, "switch " + std::to_string(bit) + '=' + std::to_string(value));
    }
    void forceChanged(std::uint32_t now, const std::string& name,
                      std::optional<std::uint32_t> value) override {
        add(now, "force " + name + (value ? '=' + std::to_string(*value) : std::string(" off")));
    }
    void operandWritten(std::uint32_t now, const std::string& name,
                        const Constant& value) override {
        add(now, "write " + name + '=' + value.text);
    }

private:
    void add(std::uint32_t now, const std::string& what) {
        events.push_back(std::to_string(now) + ' ' + what);
    }
};

} // namespace

// Each action once, in order, at the simulated time it happened (a scan at the time it
// started, a new speed without a jump of the time); those that changed nothing
// (a second stop, a speed at its bound, releasing what is not forced) announce nothing.
TEST(SessionEvents, EachActionOnceInOrder) {
    Session s;
    Log log;
    s.addListener(log);
    ASSERT_EQ(s.loadText(Lamp), std::nullopt);
    s.run();
    s.tick();
    s.stop();
    s.stop();
    s.singleStep();
    s.reset();
    s.run();
    s.faster();
    s.slower();
    s.realTime();
    s.setSwitch(3, 1);
    s.setSwitch(8, 1);
    ASSERT_EQ(s.force("A0.1", 1), std::nullopt);
    s.release("A0.2");
    s.release("A0.1");
    s.releaseAll();
    ASSERT_EQ(s.force("MB1", 7), std::nullopt);
    s.releaseAll();
    OperandRef operand(s.cpu(), "MW2");
    s.write(operand, parseConstant(s.cpu(), "16#12"));
    EXPECT_EQ(log.events,
              (std::vector<std::string>{
                  "0 loaded ", "0 scanned", "1 stopped", "1 step", "1 scanned", "2 reset",
                  "2 running", "2 faktor 2", "2 faktor 1", "2 switch 3=1", "2 force A0.1=1",
                  "2 force A0.1 off", "2 force MB1=7", "2 force  off", "2 write MW2=16#12"}));
}

TEST(SessionEvents, FailedActionsAnnounceOnlyTheFailure) {
    Session s;
    Log log;
    s.addListener(log);
    ASSERT_NE(s.loadText("no program"), std::nullopt);
    ASSERT_NE(s.loadFile("/nonexistent/x.awl"), std::nullopt);
    ASSERT_NE(s.force("XYZ", 1), std::nullopt);
    OperandRef operand(s.cpu(), "T1");
    EXPECT_ANY_THROW(s.write(operand, parseConstant(s.cpu(), "70000")));
    EXPECT_EQ(log.events, (std::vector<std::string>{"0 loadFailed", "0 loadFailed"}));
}

TEST(SessionEvents, FaultEndsTheScanAndStopsWithoutARunChange) {
    Session s;
    Log log;
    ASSERT_EQ(s.loadText(Faulting), std::nullopt);
    s.addListener(log);
    s.setSwitch(7, 1);
    ASSERT_NE(s.tick(), std::nullopt);
    EXPECT_FALSE(s.isRunning());
    EXPECT_EQ(log.events,
              (std::vector<std::string>{"0 switch 7=1", "0 scanned fault", "0 faulted"}));
}

// A listener that removes itself, or another one, while it is told does not break the
// announcement; the removed one hears nothing more.
TEST(SessionEvents, ListenersMayLeaveWhileTold) {
    Session s;
    Log second;
    struct Leaving final : SessionListener {
        Session* session = nullptr;
        Log* other = nullptr;
        int told = 0;
        void runChanged(std::uint32_t, RunChange) override {
            ++told;
            session->removeListener(*this);
            session->removeListener(*other);
        }
    } first;
    first.session = &s;
    first.other = &second;
    s.addListener(first);
    s.addListener(second);
    s.run();
    s.stop();
    EXPECT_EQ(first.told, 1);
    EXPECT_TRUE(second.events.empty());
}

} // namespace kvx
