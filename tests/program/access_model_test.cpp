// The accessibility model over the real program's main window, in-process on the test host: what a
// screen reader finds (roles, names, states, values), what it hears when something changes, and its
// actions, which reach the program as the platform's own messages.
#include <gtest/gtest.h>

#include <algorithm>

#include "access.h"
#include "program_fixture.h"

namespace {

using a11y::Change;
using a11y::Id;
using a11y::Node;
using a11y::Role;

Id IdOf(HWND window) { return Id(reinterpret_cast<std::uintptr_t>(window)); }

class AccessModel : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        heard.clear();
        a11y::SetListener(
            [](Id id, Change c, void *self) {
                static_cast<AccessModel *>(self)->heard.push_back({id, c});
            },
            this);
    }
    void TearDown() override {
        a11y::SetListener(nullptr, nullptr);
        ProgramTest::TearDown();
    }

    static Node NodeOf(HWND window) {
        Node n;
        EXPECT_TRUE(a11y::Find(IdOf(window), &n));
        return n;
    }
    static std::vector<Node> WithRole(Role role) {
        std::vector<Node> out;
        for (const Node &n : a11y::Snapshot())
            if (n.role == role) out.push_back(n);
        return out;
    }
    static const Node *Named(const std::vector<Node> &nodes, const std::string &name) {
        for (const Node &n : nodes)
            if (n.name == name) return &n;
        return nullptr;
    }
    bool Told(Id id, Change c) const {
        return std::find(heard.begin(), heard.end(), std::make_pair(id, c)) != heard.end();
    }

    std::vector<std::pair<Id, Change>> heard;
};

TEST_F(AccessModel, TheMainWindowIsAFrameWithEveryVisibleControlInCreationOrder) {
    std::vector<Node> all = a11y::Snapshot();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all[0].role, Role::Frame);
    EXPECT_EQ(all[0].id, IdOf(app.mainWindow));
    EXPECT_TRUE(all[0].states & a11y::Active);
    std::vector<std::string> controls;
    for (const Node &n : all)
        if (n.parent == all[0].id && n.role != Role::Label) controls.push_back(n.name);
    // The slider's name is the tempo bar's; Stop and All are hidden and absent; the lists are named by
    // their selection.
    const std::vector<std::string> expected = {"Metronome Speed = 60 Beats/Minute",
                                               "Start Metronome",
                                               "Sound",
                                               "Color",
                                               "None",
                                               "A1",
                                               "A2",
                                               "A3",
                                               "D min",
                                               "Bb1",
                                               "Bb2",
                                               "Bb3",
                                               "Bb maj",
                                               "none",
                                               "1 sec",
                                               "3 sec",
                                               "Delay",
                                               "1x",
                                               "3x",
                                               "5x",
                                               "Repeat",
                                               "Concert"};
    EXPECT_EQ(controls, expected);
}

TEST_F(AccessModel, EachControlHasItsRoleAndState) {
    Node start = NodeOf(app.startStopButton);
    EXPECT_EQ(start.role, Role::PushButton);
    EXPECT_EQ(start.states & (a11y::Visible | a11y::Enabled | a11y::Focusable | a11y::Checked),
              a11y::Visible | a11y::Enabled | a11y::Focusable);
    EXPECT_EQ(start.x, 4);
    EXPECT_EQ(start.y, 26 + 48);
    EXPECT_EQ(start.width, 114);
    Node sound = NodeOf(app.soundCheckBox);
    EXPECT_EQ(sound.role, Role::CheckBox);
    EXPECT_TRUE(sound.states & a11y::Checked);
    Node none = NodeOf(app.delayNoneRadio), oneSecond = NodeOf(app.delay1sRadio), oneX = NodeOf(app.repeat1xRadio);
    EXPECT_EQ(none.role, Role::RadioButton);
    EXPECT_TRUE(none.states & a11y::Checked);
    EXPECT_FALSE(oneSecond.states & a11y::Checked);
    EXPECT_EQ(oneSecond.group, none.id) << "the delay buttons are one group";
    EXPECT_EQ(oneX.group, IdOf(app.repeat1xRadio)) << "the repeat buttons another";
    const std::vector<Node> groups = WithRole(Role::Grouping);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].name, "Delay");
    EXPECT_EQ(groups[1].name, "Repeat");
}

TEST_F(AccessModel, TheTempoBarIsASliderNamedByTheLabelAboveIt) {
    Node slider = NodeOf(app.tempoScrollBar);
    EXPECT_EQ(slider.role, Role::Slider);
    EXPECT_EQ(slider.value, 30);
    EXPECT_EQ(slider.minimum, 0);
    EXPECT_EQ(slider.maximum, 210);
    Node label;
    ASSERT_TRUE(a11y::Find(slider.labelledBy, &label));
    EXPECT_EQ(label.role, Role::Label);
    EXPECT_EQ(label.name, "Metronome Speed = 60 Beats/Minute");
    EXPECT_EQ(slider.value + slider.shownOffset, 60) << "the tempo the user reads";
    EXPECT_EQ(slider.minimum + slider.shownOffset, 30);
    EXPECT_EQ(slider.maximum + slider.shownOffset, 240);
    EXPECT_EQ(NodeOf(app.instrumentCombo).shownOffset, 0);
}

TEST_F(AccessModel, TheThreeColouredBarsAreLabels) {
    std::vector<std::string> labels;
    for (const Node &n : WithRole(Role::Label)) labels.push_back(n.name);
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(labels[0], "Metronome Speed = 60 Beats/Minute");
    EXPECT_EQ(labels[1], "Tuning Notes");
    EXPECT_NE(labels[2].find("www."), std::string::npos) << labels[2];
}

TEST_F(AccessModel, TheDropDownListsHaveTheirItemsAndSelection) {
    Node signature = NodeOf(app.timeSignatureCombo);
    EXPECT_EQ(signature.role, Role::ComboBox);
    const std::vector<std::string> items = {"None", "2/4", "3/4", "4/4", "5/4", "6/8", "7/8"};
    EXPECT_EQ(signature.items, items);
    EXPECT_EQ(signature.selected, 0);
    EXPECT_EQ(NodeOf(app.instrumentCombo).items.size(), 6u);
}

TEST_F(AccessModel, PressingStartIsAClickTheNameChangesAndIsHeard) {
    ASSERT_TRUE(a11y::Press(IdOf(app.startStopButton)));
    EXPECT_TRUE(a11y::ActionsPending());
    EXPECT_EQ(app.metronomeBeat, 0) << "queued, not run inside the call";
    testhost::Pump();
    EXPECT_FALSE(a11y::ActionsPending());
    EXPECT_NE(app.metronomeBeat, 0) << "the metronome runs";
    EXPECT_EQ(NodeOf(app.startStopButton).name, "Stop Metronome");
    EXPECT_TRUE(Told(IdOf(app.startStopButton), Change::Name));
    testhost::Advance(1000);
    EXPECT_EQ(Heard().size(), 1u) << "a click one beat later";
}

TEST_F(AccessModel, SettingTheSliderGoesThroughTheScrollBarsNotifications) {
    Node slider = NodeOf(app.tempoScrollBar);
    ASSERT_TRUE(a11y::SetValue(slider.id, 33));
    testhost::Pump();
    EXPECT_EQ(app.tempoPosition, 33);
    EXPECT_EQ(NodeOf(app.tempoScrollBar).value, 33);
    EXPECT_EQ(NodeOf(app.tempoScrollBar).name, "Metronome Speed = 63 Beats/Minute");
    EXPECT_TRUE(Told(slider.id, Change::Value));
    EXPECT_TRUE(Told(slider.labelledBy, Change::Name)) << "the tempo bar's new text is heard";
    ASSERT_TRUE(a11y::SetValue(slider.id, 5000));
    testhost::Pump();
    EXPECT_EQ(app.tempoPosition, 210) << "clamped into the range";
}

TEST_F(AccessModel, PressingABoxOrChoosingFromAListActsAsTheUserWould) {
    ASSERT_TRUE(a11y::Press(IdOf(app.soundCheckBox)));
    testhost::Pump();
    EXPECT_EQ(app.soundOn, 0);
    EXPECT_FALSE(NodeOf(app.soundCheckBox).states & a11y::Checked);
    EXPECT_TRUE(Told(IdOf(app.soundCheckBox), Change::State));

    ASSERT_TRUE(a11y::Select(IdOf(app.instrumentCombo), 1));
    testhost::Pump();
    EXPECT_EQ(app.instrumentIndex, 1);
    EXPECT_EQ(NodeOf(app.instrumentCombo).name, "Guitar");
    EXPECT_TRUE(Told(IdOf(app.noteButtons[0]), Change::Name)) << "the note buttons are relabelled";
    EXPECT_TRUE(Told(app.mainWindow ? IdOf(app.mainWindow) : 0, Change::Children)) << "All appears";
    EXPECT_TRUE(a11y::Find(IdOf(app.allButton), nullptr));
}

TEST_F(AccessModel, FocusIsAnActionAndAnEvent) {
    ASSERT_TRUE(a11y::Focus(IdOf(app.colorCheckBox)));
    testhost::Pump();
    EXPECT_EQ(GetFocus(), app.colorCheckBox);
    EXPECT_TRUE(NodeOf(app.colorCheckBox).states & a11y::Focused);
    EXPECT_TRUE(Told(IdOf(app.colorCheckBox), Change::Focus));
}

// A loop waiting for messages wakes for an action and goes round once (an empty message), so a modal
// loop the action ended (a dialog's "ok" pressed) sees it before it waits again.
TEST_F(AccessModel, AnActionGivesTheWaitingLoopOneEmptyMessage) {
    testhost::Pump();
    ASSERT_TRUE(a11y::Press(IdOf(app.startStopButton)));
    MSG msg{};
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, UINT(WM_NULL));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(NodeOf(app.startStopButton).name, "Stop Metronome") << "the action ran first";
    EXPECT_EQ(DispatchMessageW(&msg), 0);
}

TEST_F(AccessModel, ActionsAnObjectCannotDoAreRefused) {
    Node label = WithRole(Role::Label).front();
    EXPECT_FALSE(a11y::Press(label.id));
    EXPECT_FALSE(a11y::Focus(label.id));
    EXPECT_FALSE(a11y::SetValue(IdOf(app.startStopButton), 3));
    EXPECT_FALSE(a11y::Select(IdOf(app.instrumentCombo), 6)) << "past the last item";
    EXPECT_FALSE(a11y::Press(IdOf(app.stopButton))) << "hidden";
    EnableWindow(app.startStopButton, FALSE);
    EXPECT_FALSE(a11y::Press(IdOf(app.startStopButton))) << "disabled";
    EXPECT_FALSE(a11y::Press(0));
    EXPECT_FALSE(a11y::ActionsPending());
}

TEST_F(AccessModel, NobodyListeningCostsNoEvents) {
    a11y::SetListener(nullptr, nullptr);
    SendMessageW(app.soundCheckBox, BM_SETCHECK, BST_UNCHECKED, 0);
    testhost::Pump();
    EXPECT_TRUE(heard.empty());
}

}  // namespace
