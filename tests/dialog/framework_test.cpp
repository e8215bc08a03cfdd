// The property-sheet framework: dialog units of the Tahoma template font, controls built from
// templates, data exchange, lazy page windows, OK handling and page messages, the input panel.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <string>
#include <vector>

#include "dialog/dialog_units.h"
#include "dialog/display_loss.h"
#include "dialog/input_panel.h"
#include "dialog/modal_dialog.h"
#include "dialog/property_page.h"
#include "dialog/property_sheet.h"
#include "tests/support/qt_events.h"

namespace cirrodex {
namespace {

using testing::ProcessEvents;

TEST(DialogUnits, TahomaEightPointGivesThePlatformsBaseUnits) {
  const DialogBaseUnits units = DialogUnits();
  EXPECT_EQ(units.x, 6);
  EXPECT_EQ(units.y, 13);
  // A page of 162 x 162 dialog units.
  EXPECT_EQ(MapDialogRect(0, 0, 162, 162).size(), QSize(243, 263));
}

TEST(DialogUnits, MapsEachEdgeWithRoundedMulDiv) {
  struct Case {
    int a, b, c, expected;
  };
  const Case cases[] = {{7, 6, 4, 11}, {-7, 6, 4, -11},   {5, 13, 8, 8}, {3, 13, 8, 5},
                        {1, 1, 2, 1},  {-1, 1, 2, -1},    {4, 6, 0, 0},  {162, 13, 8, 263},
                        {0, 13, 8, 0}, {1439, 1, 1, 1439}};
  for (const Case& c : cases) {
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
  }
  // Edges are mapped, not sizes: 7 + 69 maps to 114, 7 to 11, so the width is 103, not 104.
  EXPECT_EQ(MapDialogRect(7, 8, 69, 10, DialogBaseUnits{6, 13}), QRect(11, 13, 103, 16));
}

constexpr std::wstring_view kItems[] = {L"one", L"two"};
constexpr ControlTemplate kProbeControls[] = {
    {ControlKind::Static, 100, L"<CityCode>", 7, 7, 60, 8},
    {ControlKind::RadioButton, 101, L"first", 7, 20, 60, 10, kGroupStart},
    {ControlKind::Edit, 102, L"", 80, 20, 40, 12, kBorder | kUppercase},
    {ControlKind::RadioButton, 103, L"second", 7, 35, 60, 10},
    {ControlKind::RadioButton, 104, L"third", 7, 50, 60, 10},
    {ControlKind::ComboBox, 105, L"", 7, 65, 80, 60, kStyleNone, kItems},
    {ControlKind::PushButton, 106, L"Press", 7, 90, 50, 14},
};
constexpr DialogTemplate kProbeTemplate{900, L"Probe", kPageWidthDlu, kPageHeightDlu,
                                        kProbeControls};
constexpr DialogTemplate kOtherTemplate{901, L"Other", kPageWidthDlu, kPageHeightDlu, {}};

// A page that notes what the framework asks of it.
class ProbePage : public PropertyPage {
 public:
  explicit ProbePage(std::vector<std::string>* log, const DialogTemplate& t = kProbeTemplate)
      : PropertyPage(t), log_(log) {}

  bool OnSetActive() override {
    Note("active");
    return true;
  }
  bool OnKillActive() override {
    Note("leave");
    return refuseLeave ? false : PropertyPage::OnKillActive();
  }
  void OnOK() override { Note("ok"); }
  intptr_t OnQuerySiblings(int message, intptr_t param) override {
    Note("query " + std::to_string(message));
    return message == 7 ? param : 0;
  }
  intptr_t Ask(int message, intptr_t param) { return QuerySiblings(message, param); }

  int radio = 1;
  std::wstring code = L"KEPT";
  bool refuseLeave = false;
  int clicks = 0;

 protected:
  bool OnInitDialog() override {
    Note("init");
    return PropertyPage::OnInitDialog();
  }
  void DoDataExchange(DataExchange& dx) override {
    ExchangeRadio(dx, 101, radio);
    ExchangeText(dx, 102, code);
  }
  void MapMessages() override {
    OnClicked(106, [this] { ++clicks; });
  }

 private:
  void Note(const std::string& what) {
    if (log_ != nullptr)
      log_->push_back(std::string(ToQString(Caption()).toStdString()) + " " + what);
  }
  std::vector<std::string>* log_;
};

TEST(DialogControls, CarryTheirIdsTextsAndTemplatePositions) {
  ProbePage page(nullptr);
  QWidget parent;
  ASSERT_TRUE(page.Create(&parent));
  EXPECT_FALSE(page.Create(&parent)) << "a page window is created once";
  EXPECT_EQ(page.Window()->size(), QSize(243, 263));

  auto* label = DialogItemAs<QLabel>(page.Window(), 100);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "<CityCode>");
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_EQ(label->geometry(), MapDialogRect(7, 7, 60, 8));
  EXPECT_EQ(page.GetDlgItem(102)->geometry(), MapDialogRect(80, 20, 40, 12));
  EXPECT_EQ(page.GetDlgItem(999), nullptr);

  auto* combo = DialogItemAs<QComboBox>(page.Window(), 105);
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->itemText(1), "two");
  EXPECT_EQ(combo->currentIndex(), -1) << "a template list starts with no selection";
  EXPECT_EQ(combo->geometry().topLeft(), MapDialogRect(7, 65, 80, 60).topLeft());
}

// An input is named after the label on its left in its row, or else the one just above it.
constexpr ControlTemplate kLabelledControls[] = {
    {ControlKind::Static, kNoControlId, L"Start", 5, 75, 152, 8},
    {ControlKind::Static, kNoControlId, L"End", 5, 96, 152, 8},
    {ControlKind::Slider, 201, L"", 5, 85, 152, 10},
    {ControlKind::Slider, 202, L"", 5, 106, 152, 10},
    {ControlKind::Static, kNoControlId, L"Units", 5, 8, 60, 8},
    {ControlKind::Edit, 203, L"", 84, 7, 42, 12},
};
constexpr DialogTemplate kLabelledTemplate{902, L"Labelled", kPageWidthDlu, kPageHeightDlu,
                                           kLabelledControls};

TEST(DialogControls, InputsAreNamedAfterTheirLabels) {
  ProbePage page(nullptr, kLabelledTemplate);
  QWidget parent;
  ASSERT_TRUE(page.Create(&parent));
  const std::pair<int, const char*> names[] = {{203, "Units"}, {201, "Start"}, {202, "End"}};
  for (const auto& [id, name] : names) {
    QAccessibleInterface* input = QAccessible::queryAccessibleInterface(page.GetDlgItem(id));
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->text(QAccessible::Name), name) << id;
  }
}

TEST(DialogControls, UppercaseEditTurnsTypedLettersIntoCapitals) {
  ProbePage page(nullptr);
  QWidget parent;
  page.Create(&parent);
  auto* edit = DialogItemAs<QLineEdit>(page.Window(), 102);
  edit->clear();
  QTest::keyClicks(edit, "ukxx0085");
  EXPECT_EQ(edit->text(), "UKXX0085");
}

TEST(DataExchange, RadioGroupAndTextBothWays) {
  ProbePage page(nullptr);
  QWidget parent;
  page.Create(&parent);  // the initialisation exchanges to the controls
  auto radio = [&](int id) { return DialogItemAs<QRadioButton>(page.Window(), id); };
  EXPECT_FALSE(radio(101)->isChecked());
  EXPECT_TRUE(radio(103)->isChecked());
  EXPECT_EQ(ItemText(page.Window(), 102), L"KEPT");

  struct Case {
    int value;
    bool first, second, third;
  };
  for (const Case& c : {Case{0, true, false, false}, Case{2, false, false, true},
                        Case{-1, false, false, false}, Case{3, false, false, false}}) {
    page.radio = c.value;
    page.UpdateData(Exchange::ToControls);
    EXPECT_EQ(radio(101)->isChecked(), c.first) << c.value;
    EXPECT_EQ(radio(103)->isChecked(), c.second) << c.value;
    EXPECT_EQ(radio(104)->isChecked(), c.third) << c.value;
    page.UpdateData(Exchange::FromControls);
    EXPECT_EQ(page.radio, c.value >= 0 && c.value < 3 ? c.value : -1);
  }

  radio(104)->click();
  SetItemText(page.Window(), 102, L"TYPED");
  page.UpdateData(Exchange::FromControls);
  EXPECT_EQ(page.radio, 2);
  EXPECT_EQ(page.code, L"TYPED");
}

TEST(DataExchange, WithoutAWindowNothingIsExchanged) {
  ProbePage page(nullptr);
  EXPECT_FALSE(page.UpdateData(Exchange::FromControls));
  EXPECT_EQ(page.code, L"KEPT");
}

TEST(PropertySheet, CreatesPageWindowsOnFirstDisplayOnly) {
  std::vector<std::string> log;
  ProbePage a(&log), b(&log, kOtherTemplate);
  PropertySheet sheet(L"Test Sheet", nullptr, 1);
  sheet.AddPage(&a);
  sheet.AddPage(&b);
  EXPECT_TRUE(log.empty()) << "building the sheet creates no page window";

  QDialog* window = sheet.Create();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), "Test Sheet");
  EXPECT_FALSE(a.IsCreated());
  EXPECT_TRUE(b.IsCreated());
  EXPECT_EQ(log, (std::vector<std::string>{"Other init", "Other active"}));

  auto* tabs = window->findChild<QTabBar*>();
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->count(), 2);
  EXPECT_EQ(tabs->tabText(0), "Probe");
  EXPECT_EQ(tabs->currentIndex(), 1);

  log.clear();
  tabs->setCurrentIndex(0);  // as a click on the tab
  EXPECT_EQ(sheet.GetActivePage(), &a);
  EXPECT_EQ(log, (std::vector<std::string>{"Other leave", "Probe init", "Probe active"}));

  log.clear();
  sheet.SetActivePage(&b);
  sheet.SetActivePage(&a);
  EXPECT_EQ(
      log, (std::vector<std::string>{"Probe leave", "Other active", "Other leave", "Probe active"}))
      << "a page already shown is not initialised again";
}

TEST(PropertySheet, OkLeavesTheActivePageThenGivesEveryCreatedPageItsOk) {
  std::vector<std::string> log;
  ProbePage a(&log), b(&log, kOtherTemplate), c(&log, kOtherTemplate);
  PropertySheet sheet(L"Test Sheet");
  sheet.AddPage(&a);
  sheet.AddPage(&b);
  sheet.AddPage(&c);
  sheet.Create();
  sheet.SetActivePage(2);
  log.clear();
  EXPECT_TRUE(sheet.PressOk());
  EXPECT_EQ(log, (std::vector<std::string>{"Other leave", "Probe ok", "Other ok"}))
      << "the never shown middle page gets no OK";
}

TEST(PropertySheet, APageThatRefusesToBeLeftKeepsTheSheetOnIt) {
  std::vector<std::string> log;
  ProbePage a(&log), b(&log, kOtherTemplate);
  PropertySheet sheet(L"Test Sheet");
  sheet.AddPage(&a);
  sheet.AddPage(&b);
  QDialog* window = sheet.Create();
  a.refuseLeave = true;
  auto* tabs = window->findChild<QTabBar*>();
  tabs->setCurrentIndex(1);
  EXPECT_EQ(sheet.GetActivePage(), &a);
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_FALSE(b.IsCreated());
  EXPECT_FALSE(sheet.PressOk());
  a.refuseLeave = false;
  EXPECT_TRUE(sheet.PressOk());
}

TEST(PropertySheet, ButtonsOfAPageReachItsHandlers) {
  ProbePage a(nullptr);
  PropertySheet sheet(L"Test Sheet");
  sheet.AddPage(&a);
  sheet.Create();
  QTest::mouseClick(a.GetDlgItem(106), Qt::LeftButton);
  EXPECT_EQ(a.clicks, 1);
}

TEST(PropertySheet, QuerySiblingsReachesEveryOtherPageUntilOneAnswers) {
  std::vector<std::string> log;
  ProbePage a(&log), b(&log, kOtherTemplate), c(&log, kOtherTemplate);
  PropertySheet sheet(L"Test Sheet");
  sheet.AddPage(&a);
  sheet.AddPage(&b);
  sheet.AddPage(&c);
  EXPECT_EQ(a.Ask(3, 0), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"Other query 3", "Other query 3"}))
      << "pages without a window are asked too";
  log.clear();
  EXPECT_EQ(a.Ask(7, 42), 42);
  EXPECT_EQ(log.size(), 1u) << "the first answer ends the round";

  ProbePage alone(nullptr);
  EXPECT_EQ(alone.Ask(7, 42), 0);
}

TEST(ModalDialog, OkExchangesFromTheControlsAndCancelDoesNot) {
  static constexpr ControlTemplate controls[] = {
      {ControlKind::Edit, 102, L"", 7, 7, 60, 12},
      {ControlKind::DefaultPushButton, IDOK, L"OK", 7, 30, 50, 14},
      {ControlKind::PushButton, IDCANCEL, L"Cancel", 60, 30, 50, 14},
  };
  static constexpr DialogTemplate dialogTemplate{902, L"Modal", 120, 50, controls};
  class Modal : public ModalDialog {
   public:
    Modal() : ModalDialog(dialogTemplate, nullptr) {}
    std::wstring text = L"before";

   protected:
    void DoDataExchange(DataExchange& dx) override { ExchangeText(dx, 102, text); }
  };

  Modal ok;
  ASSERT_TRUE(ok.Create());
  EXPECT_EQ(ItemText(ok.Window(), 102), L"before");
  SetItemText(ok.Window(), 102, L"after");
  QTest::mouseClick(ok.GetDlgItem(IDOK), Qt::LeftButton);
  EXPECT_EQ(ok.Result(), IDOK);
  EXPECT_EQ(ok.text, L"after");

  Modal cancel;
  cancel.Create();
  SetItemText(cancel.Window(), 102, L"after");
  QTest::keyClick(cancel.Window(), Qt::Key_Escape);
  EXPECT_EQ(cancel.Result(), IDCANCEL);
  EXPECT_EQ(cancel.text, L"before");
}

TEST(InputPanel, WithoutAPanelWindowNothingHappensAndTheAnswerIsTrue) {
  ASSERT_EQ(FindInputPanel(), nullptr);
  EXPECT_TRUE(ShowInputPanel(true));
  EXPECT_TRUE(ShowInputPanel(false));
}

TEST(InputPanel, ShowsAndHidesThePanelWindowAndReportsItsFormerState) {
  QWidget panel;
  panel.setProperty(kWindowClassProperty, QString::fromLatin1(kInputPanelClass));
  ASSERT_EQ(FindInputPanel(), &panel);
  EXPECT_FALSE(ShowInputPanel(true));
  EXPECT_TRUE(panel.isVisible());
  EXPECT_TRUE(ShowInputPanel(false));
  EXPECT_FALSE(panel.isVisible());
}

// On the offscreen platform (snapshots, tests) Qt answers as an X11 application with no
// connection: a warning there is only a warning.
TEST(DisplayLoss, AWarningWithoutADisplayConnectionEndsNothing) {
  bool ended = false;
  EndWhenTheDisplayGoes("dialog_tests", [&] { ended = true; });
  qWarning("a warning of the offscreen platform");
  EXPECT_FALSE(ended);
}

}  // namespace
}  // namespace cirrodex
