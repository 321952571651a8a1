#include "MainWindowFixture.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QStackedWidget>

namespace {

struct EventCase {
    int code;
    const char *text;   // nullptr: not reported
};

const EventCase kEvents[] = {
    {1, nullptr},
    {2, nullptr},
    {3, "Change in CTS Detected"},
    {4, "Change in DSR Detected"},
    {5, "Change in CD Detected"},
    {6, "The Phone is Ringing"},
    {7, "End of File Detected"},
    {1001, "Break Received"},
    {1002, "CTS Timeout"},
    {1003, "DSR Timeout"},
    {1004, "Framing Error"},
    {1005, "Unknown error or event"},
    {1006, "Overrun Error"},
    {1007, "Carrier Detect Timeout"},
    {1008, "Receive Buffer Overflow"},
    {1009, "Parity Error"},
    {1010, "Transmit Buffer Full"},
    {1011, "Error retrieving DCB"},
    {0, "Unknown error or event"},
    {8, "Unknown error or event"},
    {1012, "Unknown error or event"},
};

const QString kTitle = QStringLiteral("Click Cancel to close port, OK to ignore.");

TEST_F(MainWindowTest, EveryCommEventButSendAndReceiveIsShownInPanelAndBox)
{
    frmMDI *w = load(0);
    for (const EventCase &c : kEvents) {
        SCOPED_TRACE(c.code);
        Platform::Ui::clearShown();
        w->Timer2->stop();
        w->sbrStatus->setPanel(1, QStringLiteral("Status: Port is Open"));
        if (c.text)
            Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
        m_comm->raiseEvent(c.code);
        const auto &shown = Platform::Ui::shown();
        if (!c.text) {
            EXPECT_EQ(w->sbrStatus->panel(1), QStringLiteral("Status: Port is Open"));
            EXPECT_TRUE(shown.empty());
            EXPECT_FALSE(w->Timer2->isActive());
            continue;
        }
        const QString text = QString::fromLatin1(c.text);
        EXPECT_EQ(w->sbrStatus->panel(1), QStringLiteral("Status: ") + text);
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[0].kind, QStringLiteral("beep"));
        EXPECT_EQ(shown[1].kind, QStringLiteral("msgbox"));
        EXPECT_EQ(shown[1].text, text);
        EXPECT_EQ(shown[1].title, kTitle);
        EXPECT_EQ(shown[1].style, Platform::Ui::Style::OkCancel);
        EXPECT_TRUE(w->Timer2->isActive());
    }
}

TEST_F(MainWindowTest, CancelInTheCommErrorBoxClosesThePortAndOkLeavesItOpen)
{
    frmMDI *w = load(0);
    m_comm->setPortOpen(true);
    w->ShowPortState(true);

    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    m_comm->raiseEvent(Platform::CommErFrame);
    EXPECT_TRUE(m_comm->PortOpen());
    EXPECT_EQ(w->picPort->currentWidget(), w->imgConnected);

    Platform::Ui::queueAnswer(Platform::Ui::Answer::Cancel);
    m_comm->raiseEvent(Platform::CommErRxParity);
    EXPECT_FALSE(m_comm->PortOpen());
    EXPECT_EQ(m_comm->closes(), 1);
    EXPECT_EQ(w->picPort->currentWidget(), w->imgNotConnected);
    EXPECT_TRUE(w->Timer2->isActive());
}

TEST_F(MainWindowTest, StatusPanelReturnsToPrefixTwoSecondsAfterAReportedEvent)
{
    frmMDI *w = load(0);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    m_comm->raiseEvent(Platform::CommEvCd);
    ASSERT_EQ(w->sbrStatus->panel(1), QStringLiteral("Status: Change in CD Detected"));
    // Still shown well before the two seconds are up.
    spinUntil([] { return false; }, 1000);
    EXPECT_EQ(w->sbrStatus->panel(1), QStringLiteral("Status: Change in CD Detected"));
    EXPECT_TRUE(spinUntil([w] { return w->sbrStatus->panel(1) == QStringLiteral("Status: "); }, 3000));
    EXPECT_FALSE(w->Timer2->isActive()) << "the reset runs once";
}

TEST_F(MainWindowTest, PortPicturesToggleThePort)
{
    frmMDI *w = load(0);
    emit w->imgNotConnected->clicked();
    EXPECT_TRUE(m_comm->PortOpen());
    EXPECT_EQ(w->picPort->currentWidget(), w->imgConnected);
    emit w->imgConnected->clicked();
    EXPECT_FALSE(m_comm->PortOpen());
    EXPECT_EQ(w->picPort->currentWidget(), w->imgNotConnected);
}

TEST_F(MainWindowTest, PortThatCannotOpenLeavesNotConnectedPictureWithoutCrash)
{
    frmMDI *w = load(0);
    m_comm->failNextOpen(8002, QStringLiteral("Invalid Port Number"));
    w->TogglePort();
    EXPECT_FALSE(m_comm->PortOpen());
    EXPECT_EQ(w->picPort->currentWidget(), w->imgNotConnected);
}

} // namespace

namespace {

// Real boxes here: only a real modal box runs the event loop in which the port reports again.
TEST_F(MainWindowTest, EventsWhileTheCommBoxWaitsUpdateThePanelWithoutStackingBoxes)
{
    frmMDI *w = load(0);
    Platform::Ui::removeScript();
    int boxesClosed = 0;
    bool reportedAgain = false;
    QTimer closer;
    closer.setInterval(100);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (!reportedAgain) {
            // The line reports again while the box waits (from the box's own event loop).
            reportedAgain = true;
            QTimer::singleShot(0, m_comm, [this] { m_comm->raiseEvent(Platform::CommErOverrun); });
            return;
        }
        ++boxesClosed;
        box->done(QMessageBox::Ok);
    });
    closer.start();
    m_comm->raiseEvent(Platform::CommErFrame);
    closer.stop();
    Platform::Ui::installScript();
    EXPECT_EQ(boxesClosed, 1);
    EXPECT_EQ(w->sbrStatus->panel(1), QStringLiteral("Status: Overrun Error"));
    EXPECT_TRUE(w->Timer2->isActive());
}

} // namespace
