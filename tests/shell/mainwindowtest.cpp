#include "resources/texttable.h"
#include "shell/ckovsl47dlg.h"
#include "shell/passworddialog.h"
#include "shell/pictures.h"
#include "shell/waitdialog.h"
#include "support/simulatedadapters.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSvgRenderer>
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

    CKOVSL47Dlg& openWindow()
    {
        start();
        search = std::make_unique<DeviceSearch>(connection(), neighbours, port);
        window = std::make_unique<CKOVSL47Dlg>(connection(), *search);
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

TEST_F(MainWindowTest, searchListsTheAdaptersAndTheSelectionFeedsTheSelectedDevice)
{
    addAdapter(adapterAt("127.0.0.2"));
    simulator::AdapterConfig second = adapterAt("127.0.0.3");
    second.mac = "02:4b:4f:00:00:cd";
    addAdapter(second);
    CKOVSL47Dlg& main = openWindow();
    ASSERT_TRUE(searchDone());

    ASSERT_EQ(main.devices().rowCount(), 2);
    EXPECT_TRUE(main.checkLedButton()->isEnabled());
    EXPECT_EQ(helpShown, 0);

    // A task without a selection is refused with its message.
    main.checkLedButton()->click();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{text(TextId::SelectAdapter)});

    selected.password = QStringLiteral("cached");
    main.devices().selectRow(1);
    EXPECT_TRUE(selected.password.isEmpty());
    EXPECT_EQ(selected.address, main.devices().entries()[1].address);
    EXPECT_EQ(main.selectedDeviceBox()->text(), main.devices().entries()[1].name);
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
