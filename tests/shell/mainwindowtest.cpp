#include "resources/texttable.h"
#include "shell/ckovsl47dlg.h"
#include "shell/passworddialog.h"
#include "shell/pictures.h"
#include "shell/qtuserdialogs.h"
#include "shell/uitext.h"
#include "shell/waitdialog.h"
#include "support/simulatedadapters.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSvgRenderer>
#include <QTableView>
#include <QTimer>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// Runs the event loop until the condition holds or the time is up.
bool processUntil(const std::function<bool()>& condition, int milliseconds = 10000)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!condition() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return condition();
}

} // namespace

class MainWindowTest : public SimulatedAdapters
{
protected:
    MainWindowTest() { sendHeartbeatsTo(port); }

    // The window talks to the adapters through the given connection, by default the one whose
    // messages and password prompts the recorder answers.
    CKOVSL47Dlg& openWindow(ModuleConnection* through = nullptr)
    {
        if (!link)
            start();
        ModuleConnection& used = through ? *through : connection();
        search = std::make_unique<DeviceSearch>(used, neighbours, port);
        window = std::make_unique<CKOVSL47Dlg>(used, *search);
        window->showConnectionHelp = [this] { ++helpShown; };
        window->show();
        return *window;
    }

    bool searchDone()
    {
        return processUntil(
            [this] { return !window->workerRunning() && !window->waitWindow().isVisible(); });
    }

    const std::uint16_t port = freeUdpPort();
    FixedNeighbourTable neighbours;
    std::unique_ptr<DeviceSearch> search;
    std::unique_ptr<CKOVSL47Dlg> window;
    int helpShown = 0;
};

TEST_F(MainWindowTest, emptyNetworkOffersConnectionHelpOnceAndThenBeforeTheSearch)
{
    CKOVSL47Dlg& main = openWindow();
    ASSERT_TRUE(searchDone());

    EXPECT_EQ(main.devices().rowCount(), 0);
    EXPECT_FALSE(main.checkLedButton()->isEnabled());
    EXPECT_FALSE(main.serialSettingsButton()->isEnabled());
    EXPECT_TRUE(main.rescanButton()->isEnabled());
    EXPECT_EQ(helpShown, 1);

    int helpBeforeSearch = -1;
    main.showConnectionHelp = [&] {
        ++helpShown;
        helpBeforeSearch = main.workerRunning() ? 0 : 1;
    };
    main.rescanButton()->click();
    ASSERT_TRUE(searchDone());
    EXPECT_EQ(helpShown, 2); // shown before the search, not after it
    EXPECT_EQ(helpBeforeSearch, 1);
}

TEST_F(MainWindowTest, searchListsTheAdaptersInHeartbeatOrderWithTheirColumns)
{
    simulator::AdapterConfig station = adapterAt("127.0.0.2");
    station.mac = "02:4b:4f:00:00:1a";
    station.settings.join = 1;
    simulator::AdapterConfig adHoc = adapterAt("127.0.0.3");
    adHoc.mac = "02:4b:4f:00:00:2b";
    adHoc.settings.join = 4;
    simulator::AdapterConfig ownNetwork = adapterAt("127.0.0.4");
    ownNetwork.mac = "02:4b:4f:00:00:3c";
    ownNetwork.dipSwitch1 = true;
    for (const simulator::AdapterConfig& config : {station, adHoc, ownNetwork})
        addAdapter(config);
    CKOVSL47Dlg& main = openWindow();
    ASSERT_TRUE(searchDone());

    const QStringList expected[] = {
        {"DaVad-UZA-1a", "127.0.0.2", text(TextId::Infrastructure), "4.00.1"},
        {"DaVad-UZA-2b", "127.0.0.3", text(TextId::AdHoc), "4.00.1"},
        {"DaVad-UZA-3c", "127.0.0.4", text(TextId::AccessPoint), "4.00.1"},
    };
    ASSERT_EQ(main.devices().rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        QStringList shown;
        for (int column = 0; column < DeviceList::ColumnCount; ++column)
            shown.append(main.deviceView()->model()->index(row, column).data().toString());
        EXPECT_EQ(shown, expected[row]) << "row " << row;
    }
    EXPECT_TRUE(main.checkLedButton()->isEnabled());
    EXPECT_TRUE(main.selectedDeviceBox()->text().isEmpty());
    EXPECT_EQ(helpShown, 0);

    selected.password = QStringLiteral("cached");
    main.devices().selectRow(1);
    EXPECT_TRUE(selected.password.isEmpty());
    EXPECT_EQ(selected.address, QStringLiteral("127.0.0.3"));
    EXPECT_EQ(main.selectedDeviceBox()->text(), QStringLiteral("DaVad-UZA-2b"));

    // With several rows selected, the topmost one is the selected device.
    selected.password = QStringLiteral("cached");
    QItemSelectionModel* selection = main.deviceView()->selectionModel();
    selection->select(main.devices().index(2, 0),
                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection->select(main.devices().index(0, 0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_TRUE(selected.password.isEmpty());
    EXPECT_EQ(selected.address, QStringLiteral("127.0.0.2"));
    EXPECT_EQ(main.selectedDeviceBox()->text(), QStringLiteral("DaVad-UZA-1a"));
}

TEST_F(MainWindowTest, everyTaskButtonRefusesWithoutSelectionAndForTheOldFirmware)
{
    simulator::AdapterConfig old = adapterAt("127.0.0.2");
    old.firmwareVersion = "2.38.3";
    simulator::Adapter& adapter = addAdapter(old);
    CKOVSL47Dlg& main = openWindow();
    ASSERT_TRUE(searchDone());
    ASSERT_EQ(main.devices().rowCount(), 1);
    const int connectionsAfterSearch = connectionCount(adapter);

    const std::pair<const char*, QPushButton*> buttons[] = {
        {"Check LED", main.checkLedButton()},
        {"See Settings", main.seeSettingsButton()},
        {"Easy Settings", main.easySettingsButton()},
        {"Custom Settings", main.customSettingsButton()},
        {"Serial Port Settings", main.serialSettingsButton()},
    };
    for (const auto& [name, button] : buttons) {
        main.deviceView()->selectionModel()->clearSelection();
        qsizetype shown = dialogs.messageTexts().size();
        button->click();
        EXPECT_EQ(dialogs.messageTexts().mid(shown), QStringList{text(TextId::SelectAdapter)})
            << name;

        main.devices().selectRow(0);
        shown = dialogs.messageTexts().size();
        button->click();
        EXPECT_EQ(dialogs.messageTexts().mid(shown), QStringList{text(TextId::FirmwareRefused)})
            << name;
        EXPECT_FALSE(main.workerRunning()) << name;
    }
    EXPECT_EQ(connectionCount(adapter), connectionsAfterSearch);
}

TEST_F(MainWindowTest, checkLedBlinksTheSelectedAdapter)
{
    simulator::Adapter& adapter = addAdapter(adapterAt("127.0.0.2"));
    CKOVSL47Dlg& main = openWindow();
    ASSERT_TRUE(searchDone());
    main.devices().selectRow(0);

    main.checkLedButton()->click();
    ASSERT_TRUE(searchDone());

    EXPECT_EQ(adapter.ledHistory().size(), 6u);
}

// What a person sees in the password prompt when it opens.
struct PromptState
{
    bool empty = false;
    bool masked = false;
    bool hideStringTicked = false;
};

// Answers the real windows as a person would, from inside whichever modal loop runs: each
// step waits for its kind of window, looks at it and closes it.
class ModalAnswers : public QObject
{
public:
    void typePassword(const QString& password) { steps.append(Step{true, password}); }
    void acknowledgeMessage() { steps.append(Step{false, {}}); }

    void start()
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { step(); });
        timer.start();
    }
    bool done() const { return steps.isEmpty(); }

    QList<PromptState> prompts;
    QStringList messages;
    QStringList unexpected; // class names of the windows no step expected

private:
    struct Step
    {
        bool password;
        QString typed;
    };

    void step()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->inherits("waitDialog")) {
            waiting.invalidate();
            return;
        }
        if (!waiting.isValid())
            waiting.start();
        // A window nobody expected is noted and closed, so that a fault ends the test.
        const auto closeUnexpected = [&] {
            if (waiting.elapsed() < 3000)
                return;
            unexpected.append(modal->metaObject()->className());
            static_cast<QDialog*>(modal)->reject();
            waiting.invalidate();
        };
        if (steps.isEmpty())
            return closeUnexpected();
        if (steps.first().password) {
            auto* prompt = qobject_cast<passwordDialog*>(modal);
            if (!prompt)
                return closeUnexpected();
            prompts.append({prompt->field()->text().isEmpty(),
                            prompt->field()->echoMode() == QLineEdit::Password,
                            prompt->hideString()->isChecked()});
            prompt->field()->setText(steps.first().typed);
            prompt->accept();
        } else {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return closeUnexpected();
            messages.append(box->text());
            box->accept();
        }
        steps.removeFirst();
        waiting.invalidate();
    }

    QList<Step> steps;
    QTimer timer;
    QElapsedTimer waiting;
};

TEST_F(MainWindowTest, passwordPromptOpensEmptyAndMaskedAlsoAfterAWrongPassword)
{
    simulator::Adapter& adapter = addAdapter(adapterAt("127.0.0.2"));
    start();
    QtUserDialogs realDialogs(qApp);
    ModuleConnection prompting(realDialogs, selected, LocaleCharset("UTF-8"), testTiming(),
                               simulated->commandPort());
    CKOVSL47Dlg& main = openWindow(&prompting);
    ASSERT_TRUE(searchDone());
    ASSERT_EQ(main.devices().rowCount(), 1);
    main.devices().selectRow(0);
    adapter.setPassword("secret");

    ModalAnswers person;
    person.typePassword(QStringLiteral("wrong"));
    person.acknowledgeMessage();
    person.typePassword(QStringLiteral("secret"));
    person.start();
    main.checkLedButton()->click();
    ASSERT_TRUE(searchDone());
    EXPECT_TRUE(adapter.ledHistory().empty());
    EXPECT_TRUE(selected.password.isEmpty()); // a refused password is not kept

    main.checkLedButton()->click();
    ASSERT_TRUE(searchDone());
    EXPECT_TRUE(person.done());
    EXPECT_TRUE(person.unexpected.isEmpty()) << person.unexpected.join(u' ').toStdString();
    ASSERT_EQ(person.prompts.size(), 2);
    for (const PromptState& prompt : person.prompts) {
        EXPECT_TRUE(prompt.empty);
        EXPECT_TRUE(prompt.masked);
        EXPECT_TRUE(prompt.hideStringTicked);
    }
    EXPECT_EQ(person.messages, QStringList{uiText(TextId::WrongPassword)});
    EXPECT_EQ(adapter.ledHistory().size(), 6u);
    EXPECT_EQ(selected.password, QStringLiteral("secret"));
}

TEST(WaitWindowTest, escapeAndCloseDoNothingUntilItsOwnerEndsIt)
{
    waitDialog wait;
    wait.waitTitle = QStringLiteral("Title");
    wait.waitText = QStringLiteral("Text");
    int result = -1;
    QTimer::singleShot(0, [&] {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&wait, &escape);
        wait.close();
        EXPECT_TRUE(wait.isVisible());
        wait.finish();
    });
    result = wait.run();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(wait.windowTitle(), QStringLiteral("Title"));
}

TEST(PasswordDialogTest, opensEmptyAndMaskedWithHideStringTicked)
{
    for (int opening = 0; opening < 2; ++opening) {
        passwordDialog prompt;
        EXPECT_TRUE(prompt.field()->text().isEmpty());
        EXPECT_EQ(prompt.field()->echoMode(), QLineEdit::Password);
        EXPECT_TRUE(prompt.hideString()->isChecked());
        prompt.field()->setText(QStringLiteral("typed"));
        prompt.hideString()->setChecked(false);
        EXPECT_EQ(prompt.field()->echoMode(), QLineEdit::Normal);
        prompt.hideString()->setChecked(true);
        EXPECT_EQ(prompt.field()->echoMode(), QLineEdit::Password);
    }
}

TEST(PicturesTest, everyPictureExistsInBothLanguages)
{
    for (const Picture picture :
         {Picture::ConnectionHelp, Picture::DipSwitchOff, Picture::DipSwitchOn}) {
        for (const TextLanguage language : {TextLanguage::English, TextLanguage::Japanese}) {
            QSvgRenderer renderer(picturePath(picture, language));
            EXPECT_TRUE(renderer.isValid()) << picturePath(picture, language).toStdString();
        }
    }
    EXPECT_FALSE(pictureFor(Picture::DipSwitchOn).isNull());
}
