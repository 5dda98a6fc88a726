// From a key press in the song selection window's search field to the repainted window,
// over a large catalogue, against the plain Qt way of doing the same (a QStringListModel
// of "title singer" behind a QSortFilterProxyModel with a fixed-string filter in a
// QListView): every prefix of 1 to 8 characters of a few keywords, typed key by key.
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QSortFilterProxyModel>
#include <QStringListModel>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/song_manager.h"
#include "song_list.h"
#include "thumbnails/thumbnail_manager.h"
#include "ui/song_selection_window.h"

using namespace vocalis;
using Clock = std::chrono::steady_clock;

namespace {

struct NoCommands final : CommandSink {
    void issue(Command, CommandSource) override {}
};

const char* const kWords[] = {"em oi ha noi", "hong nhung", "dem dong", "tinh ca", "anh ban", "mua", "xyzq"};

// Types every word key by key into `field`, clearing it between words, and times each
// press up to the end of the window's repaint.
std::vector<double> typeAll(QLineEdit* field, QWidget& window) {
    std::vector<double> millis;
    for (const char* word : kWords) {
        field->clear();
        QCoreApplication::processEvents();
        const std::string text(word);
        for (std::size_t n = 0; n < std::min<std::size_t>(8, text.size()); ++n) {
            const auto start = Clock::now();
            QTest::keyClick(field, text[n]);
            window.repaint();
            millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    }
    return millis;
}

void report(const char* name, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-8s presses %zu  median %.2f ms  p90 %.2f ms  max %.2f ms\n", name, ms.size(),
                ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
}

double median(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const auto paths = benchSongPaths();
    if (paths.empty()) {
        std::fprintf(stderr, "no song list: run bench/make_song_tree.py first or set VOCALIS_SONG_LIST\n");
        return 1;
    }
    std::vector<Song> list;
    for (const auto& path : paths)
        if (auto song = songFromPath("/media/usb/Karaoke", path)) list.push_back(std::move(*song));
    SongManager songs;
    songs.addAll(std::make_shared<Catalogue>(buildCatalogue(std::move(list))));
    ThumbnailManager thumbnails(songs);
    NoCommands commands;

    SongSelectionWindow ours({songs, thumbnails, commands, {}, false});
    ours.show();
    QStringList rows;
    for (const Song& song : songs.catalogue()->songs)
        rows << QString::fromUtf8(song.title()) + " " + QString::fromUtf8(song.singer());
    QStringListModel model(rows);
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
    QWidget peer;
    peer.resize(ours.size());
    auto* field = new QLineEdit(&peer);
    auto* view = new QListView(&peer);
    view->setUniformItemSizes(true);
    view->setModel(&proxy);
    view->setGeometry(0, 40, peer.width(), peer.height() - 40);
    QObject::connect(field, &QLineEdit::textChanged, &proxy, &QSortFilterProxyModel::setFilterFixedString);
    peer.show();
    QCoreApplication::processEvents();

    std::printf("songs %d\n", songs.getCount());
    std::vector<double> oursMs, peerMs;
    // Rounds alternate, so a busy moment of the machine hits both.
    for (int round = 0; round < 3; ++round) {
        const auto a = typeAll(ours.txtSearch(), ours);
        const auto b = typeAll(field, peer);
        oursMs.insert(oursMs.end(), a.begin(), a.end());
        peerMs.insert(peerMs.end(), b.begin(), b.end());
    }
    report("vocalis", oursMs);
    report("qt-proxy", peerMs);
    std::printf("ratio of medians %.2f (goal: median under 16 ms)\n", median(oursMs) / median(peerMs));
    return 0;
}
