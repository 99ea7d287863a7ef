// The list of the Available Networks dialog: views, images, sorting, selection, menu, rescan
// progress and the pictures for the README.
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTemporaryDir>

#include "SiteFixture.h"
#include "ui/survey/SiteIcons.h"
#include "ui/survey/SiteRows.h"

namespace wavory::test {
namespace {

QImage Picture(const QIcon& icon) {
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

using ViewSiteTest = CSiteTest;

TEST_F(ViewSiteTest, BothViewsShowTheirColumnsAndTheChoiceIsKeptAcrossRuns) {
    Start();
    CViewSite& site = Open();
    // No preference yet: one row per access point; Harbour's two access points both show.
    EXPECT_EQ(site.windowTitle(), "Available AP's");
    EXPECT_EQ(Button(CViewSite::IDC_TOGGLE_VIEW)->text(), "NetworkView");
    ASSERT_EQ(List()->columnCount(), 7);
    EXPECT_EQ(List()->headerItem()->text(6), "MAC");
    // All seven fit the list, each wide enough for its longest text ("Infrastructure", a MAC).
    int total = 0;
    for (int column = 0; column < 7; ++column) total += List()->columnWidth(column);
    EXPECT_LE(total, List()->viewport()->width());
    EXPECT_GE(total, List()->viewport()->width() - 7);
    const QFontMetrics metrics(List()->font());
    EXPECT_GT(List()->columnWidth(2), metrics.horizontalAdvance("Infrastructure"));
    EXPECT_GT(List()->columnWidth(6), metrics.horizontalAdvance("00-0F-B5-44-7C-20"));
    EXPECT_GT(List()->columnWidth(1), List()->columnWidth(0));
    EXPECT_EQ(Column(1).count("Harbour"), 2);
    QStringList harbourChannels;
    for (int i = 0; i < List()->topLevelItemCount(); ++i)
        if (List()->topLevelItem(i)->text(1) == "Harbour")
            harbourChannels << List()->topLevelItem(i)->text(4);
    harbourChannels.sort();
    EXPECT_EQ(harbourChannels, QStringList({"1", "6"}));

    QTest::mouseClick(Button(CViewSite::IDC_TOGGLE_VIEW), Qt::LeftButton);
    EXPECT_EQ(site.windowTitle(), "Available Networks");
    EXPECT_EQ(Button(CViewSite::IDC_TOGGLE_VIEW)->text(), "AP View");
    ASSERT_EQ(List()->columnCount(), 4);
    EXPECT_GT(List()->columnWidth(1), List()->viewport()->width() / 3);  // the widest share
    // One row for the network: the stronger access point (-58 dBm, 84%).
    EXPECT_EQ(Column(1).count("Harbour"), 1);
    EXPECT_EQ(Row("Harbour")->text(0), "84%");

    EXPECT_EQ(CSqliteRegistry().GetProfileInt("", "View AP or NET", 0), 1);
    m_pSite.reset();
    Open();
    EXPECT_TRUE(m_pSite->IsNetworkView());
    EXPECT_EQ(List()->columnCount(), 4);
}

TEST_F(ViewSiteTest, RowImagesFollowTheSignalLevelsAndMarkTheConnectedStation) {
    Start();
    Open();
    theApp.m_pStationMngr->RemoveAllStations();
    const std::pair<int, int> levels[] = {{-67, SITE_IMG_EXCELLENT}, {-68, SITE_IMG_GOOD},
                                          {-71, SITE_IMG_GOOD},      {-72, SITE_IMG_FAIR},
                                          {-81, SITE_IMG_FAIR},      {-82, SITE_IMG_POOR}};
    std::shared_ptr<CStation> weakest;
    for (const auto& [dBm, image] : levels)
        weakest = AddStation("Net" + std::to_string(-dBm), -dBm % 14 + 1, dBm);
    for (const auto& [dBm, image] : levels) {
        QTreeWidgetItem* row = Row(QString("Net%1").arg(-dBm));
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(Picture(row->icon(0)), Picture(SiteImage(image))) << dBm << " dBm";
        EXPECT_EQ(row->background(1).style(), Qt::NoBrush);
    }

    theApp.m_pStationMngr->SetCurrent(weakest);
    m_pSite->RefreshList();
    QTreeWidgetItem* connected = Row("Net82");
    EXPECT_EQ(Picture(connected->icon(0)), Picture(SiteImage(SITE_IMG_CONNECTED)));
    for (int column = 0; column < List()->columnCount(); ++column)
        EXPECT_EQ(connected->background(column).color(), QColor(133, 210, 252));
    EXPECT_EQ(Row("Net81")->background(0).style(), Qt::NoBrush);

    // The legend shows the same pictures, and no two pictures look alike.
    auto* legend = m_pSite->findChild<QLabel*>("IDC_1176");
    EXPECT_EQ(legend->pixmap().toImage().convertToFormat(QImage::Format_ARGB32),
              Picture(SiteImage(SITE_IMG_CONNECTED)));
    for (int a = 0; a < kSiteImageCount; ++a)
        for (int b = a + 1; b < kSiteImageCount; ++b) EXPECT_NE(Picture(SiteImage(a)), Picture(SiteImage(b)));
}

TEST_F(ViewSiteTest, ColumnsSortAsTextAndASecondClickReverses) {
    Start();
    theApp.WriteProfileInt("", "dBm-Percent", 1);
    Open();
    theApp.m_pStationMngr->RemoveAllStations();
    AddStation("Bravo", 1, -80);
    AddStation("alpha", 6, -45);
    AddStation("Charlie", 11, -100);
    // First opened: strongest first, by the signal itself (not its text, "-100dBm" < "-45dBm").
    EXPECT_EQ(Column(0), QStringList({"-45dBm", "-80dBm", "-100dBm"}));
    EXPECT_FALSE(m_pSite->SortAscending());
    // Percent gives the same order under the same arrow.
    theApp.WriteProfileInt("", "dBm-Percent", 0);
    m_pSite->RefreshList();
    EXPECT_EQ(Column(0), QStringList({"100%", "40%", "00%"}));
    theApp.WriteProfileInt("", "dBm-Percent", 1);
    ClickHeader(0);
    EXPECT_EQ(Column(0), QStringList({"-100dBm", "-80dBm", "-45dBm"}));
    EXPECT_TRUE(m_pSite->SortAscending());
    ClickHeader(0);
    // Another column starts ascending; byte order puts capitals first.
    ClickHeader(1);
    EXPECT_EQ(Column(1), QStringList({"Bravo", "Charlie", "alpha"}));
    ClickHeader(1);
    EXPECT_EQ(Column(1), QStringList({"alpha", "Charlie", "Bravo"}));
    ClickHeader(4);
    EXPECT_EQ(Column(4), QStringList({"1", "11", "6"}));
    // The sort order is a window setting, kept for the next run.
    m_pSite.reset();
    Open();
    EXPECT_EQ(m_pSite->SortColumn(), 4);
    EXPECT_TRUE(m_pSite->SortAscending());
}

TEST_F(ViewSiteTest, SelectionStaysOnItsRowAndFallsBackToTheFirstRow) {
    Start();
    Open();
    theApp.m_pStationMngr->RemoveAllStations();
    AddStation("Alpha", 1, -50);
    auto bravo = AddStation("Bravo", 6, -60);
    AddStation("Charlie", 11, -70);
    Click("Bravo");
    EXPECT_TRUE(Button(CViewSite::IDC_CONNECT)->isEnabled());
    ClickHeader(1);
    ClickHeader(1);
    ASSERT_EQ(List()->selectedItems().size(), 1);
    EXPECT_EQ(List()->selectedItems().first()->text(1), "Bravo");
    EXPECT_EQ(List()->indexOfTopLevelItem(List()->selectedItems().first()), 1);
    // "C&lose" only hides: shown again, the dialog keeps its sort and selection.
    QTest::mouseClick(Button(CViewSite::IDC_CLOSE), Qt::LeftButton);
    EXPECT_FALSE(m_pSite->isVisible());
    m_pSite->show();
    EXPECT_EQ(Column(1), QStringList({"Charlie", "Bravo", "Alpha"}));
    EXPECT_EQ(List()->selectedItems().value(0), Row("Bravo"));

    theApp.m_pStationMngr->RemoveStation(CStationMngr::StationKey(*bravo));
    m_pSite->RefreshList();
    ASSERT_EQ(List()->selectedItems().size(), 1);
    EXPECT_EQ(List()->selectedItems().first(), List()->topLevelItem(0));
    EXPECT_EQ(List()->topLevelItem(0)->text(1), "Charlie");
}

TEST_F(ViewSiteTest, ButtonsAndMenuFollowWhetherTheRowIsTheConnectedOne) {
    Start();
    Open();
    QMenu* menu = m_pSite->ContextMenu();
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 7);
    EXPECT_EQ(actions[0]->text(), "&Connect");
    EXPECT_EQ(actions[2]->text(), "E&dit Connection");
    EXPECT_EQ(actions[3]->text(), "&Forget");
    EXPECT_TRUE(actions[4]->isSeparator());

    List()->clearSelection();
    m_pSite->ShowContextMenu(QPoint(5, 5));
    EXPECT_FALSE(menu->isVisible());  // no row selected: no menu

    theApp.m_pStationMngr->SetCurrent(theApp.m_pStationMngr->Lookup("Lighthouse;11"));
    m_pSite->RefreshList();
    Click("Lighthouse");
    EXPECT_FALSE(Button(CViewSite::IDC_CONNECT)->isEnabled());
    EXPECT_TRUE(Button(CViewSite::IDC_EDIT_CONNECTION)->isEnabled());
    m_pSite->ShowContextMenu(List()->visualItemRect(Row("Lighthouse")).center());
    EXPECT_TRUE(menu->isVisible());
    EXPECT_FALSE(actions[0]->isEnabled());
    EXPECT_TRUE(actions[2]->isEnabled());
    menu->hide();

    Click("Boatyard");
    EXPECT_TRUE(Button(CViewSite::IDC_CONNECT)->isEnabled());
    EXPECT_FALSE(Button(CViewSite::IDC_EDIT_CONNECTION)->isEnabled());
    m_pSite->ShowContextMenu(List()->visualItemRect(Row("Boatyard")).center());
    EXPECT_TRUE(actions[0]->isEnabled());
    EXPECT_FALSE(actions[2]->isEnabled());
    menu->hide();
}

TEST_F(ViewSiteTest, RescanShowsProgressUntilTheTickMergesTheFinishedScan) {
    Start();
    Open();
    ASSERT_EQ(kccl_sim_put_network(Network("Newcomer", "00-20-30-40-50-60", 4, -60).c_str()), 0);
    kccl_sim_set_scan_duration(3000);
    auto* progress = m_pSite->findChild<QProgressBar*>("IDC_1164");
    EXPECT_FALSE(progress->isVisible());

    const int listWidth = List()->width();
    QTest::mouseClick(Button(CViewSite::IDC_RESCAN), Qt::LeftButton);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_TRUE(Control(CViewSite::IDC_ANIMATION)->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(progress->value() > 0, 2000);
    EXPECT_EQ(List()->width(), listWidth);  // the progress fits beside the buttons
    Tick();                                 // the driver still scans: the old list stays
    EXPECT_TRUE(progress->isVisible());
    EXPECT_FALSE(Column(1).contains("Newcomer"));

    kccl_sim_advance(3000);
    Tick();
    EXPECT_TRUE(Column(1).contains("Newcomer"));
    EXPECT_FALSE(progress->isVisible());
    EXPECT_FALSE(Control(CViewSite::IDC_ANIMATION)->isVisible());
}

TEST_F(ViewSiteTest, WritesAPictureOfEachView) {
    Start();
    Open();
    QTemporaryDir scratch;
    // WAVORY_SCREENSHOTS=docs/screenshots keeps the pictures for the README.
    const QString dir = qEnvironmentVariableIsSet("WAVORY_SCREENSHOTS")
                            ? qEnvironmentVariable("WAVORY_SCREENSHOTS")
                            : scratch.path();
    Click("Lighthouse");  // joined, so the pictures show the connected row too
    QTest::mouseClick(Button(CViewSite::IDC_CONNECT), Qt::LeftButton);
    Click("Deckhands");
    const QStringList files = m_pSite->WriteScreenshots(dir);
    ASSERT_EQ(files.size(), 2);
    const QImage networks(QDir(dir).filePath("available-networks.png"));
    const QImage aps(QDir(dir).filePath("available-aps.png"));
    EXPECT_EQ(networks.size(), m_pSite->size());
    EXPECT_NE(networks, aps);
    EXPECT_FALSE(m_pSite->IsNetworkView());  // the view shown before
}

TEST_F(ViewSiteTest, OpensWithTheConnectedRowSelectedAndLeavesUnchangedRowsAlone) {
    Start();
    CProfile lighthouse("", false);
    lighthouse.NetName = "Lighthouse";
    lighthouse.NetMode = true;
    ASSERT_TRUE(CStation(lighthouse).Connect(CStation::CONNECT_APPLY));  // joined before it opens
    Open();
    ASSERT_EQ(List()->selectedItems().size(), 1);
    EXPECT_EQ(List()->selectedItems().first()->text(1), "Lighthouse");
    EXPECT_FALSE(Button(CViewSite::IDC_CONNECT)->isEnabled());  // it is the connection
    EXPECT_TRUE(Button(CViewSite::IDC_EDIT_CONNECTION)->isEnabled());
    EXPECT_TRUE(Button(CViewSite::IDC_SAVE_PROFILE)->isEnabled());

    // A refresh that finds the same stations keeps the same rows (no rebuild, no repaint).
    QTreeWidgetItem* first = List()->topLevelItem(0);
    m_pSite->RefreshList();
    EXPECT_EQ(List()->topLevelItem(0), first);
    theApp.m_pStationMngr->Lookup("Lighthouse;11")->m_nRssi = -92;
    m_pSite->RefreshList();
    EXPECT_EQ(Row("Lighthouse")->text(0), "16%");
}

}  // namespace
}  // namespace wavory::test
