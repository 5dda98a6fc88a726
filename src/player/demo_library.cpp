#include "player/demo_library.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/log.h"
#include "base/process.h"

namespace fs = std::filesystem;

namespace vocalis {

namespace {

std::string fontFile(bool bold) {
    for (const char* path : {bold ? "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
                                  : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                             "/usr/share/fonts/truetype/noto/NotoSans-Regular.ttf",
                             "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"})
        if (fs::exists(path)) return path;
    return {};
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// A soft pad on the tonic's major chord, pulsing on the beat.
std::string backing(double tonic) {
    const std::string f = number(tonic / 2);
    return "0.10*(sin(2*PI*" + f + "*t)+0.8*sin(2*PI*" + f + "*1.26*t)+0.7*sin(2*PI*" + f +
           "*1.5*t))*(0.6+0.4*exp(-4*mod(t,0.5)))";
}

// A melody stepping through a pentatonic scale, two notes a second, each note fading in
// and out so the steps do not click.
std::string melody(double tonic) {
    const std::string step = "mod(floor(t*2)*3+floor(t/4),5)";
    const std::string ratio =
        "(1+0.125*eq(" + step + ",1)+0.26*eq(" + step + ",2)+0.5*eq(" + step + ",3)+0.68*eq(" + step + ",4))";
    return "0.30*sin(2*PI*" + number(tonic) + "*" + ratio + "*t)*sin(PI*mod(t*2,1))";
}

}  // namespace

const std::vector<DemoSong>& demoSongs() {
    static const std::vector<DemoSong> songs{
        {"NhacTre", "Chiều Phố Cũ", "Thanh Hà", ".mp4", 392.0},
        {"NhacTruTinh", "Mưa Trên Sông Hàn", "Quang Vũ", ".mkv", 329.6},
        {"NhacThieuNhi", "Giấc Mơ Mùa Hạ", "Ngọc Lan", ".mp4", 440.0},
        {"NhacMoi", "Đêm Đông Ấm Áp", "Đức Tâm", ".vcv", 349.2},
    };
    return songs;
}

int makeDemoLibrary(const std::string& songFolder, const std::string& workFolder, int seconds,
                    const DemoProgress& progress, std::stop_token stop) {
    // A catalogue load that ran halfway through would keep only the songs made so far, so
    // the songs are made outside the song folders and moved in together.
    const fs::path finished(songFolder);
    if (fs::exists(finished)) return static_cast<int>(demoSongs().size());
    const fs::path making(workFolder);
    const int made = makeDemoSongs(making.string(), seconds, progress, stop);
    if (stop.stop_requested()) return 0;
    std::error_code error;
    fs::create_directories(finished.parent_path(), error);
    fs::rename(making, finished, error);
    if (error) logParts("Cannot move the demo songs into place: ", error.message());
    return error ? 0 : made;
}

int makeDemoSongs(const std::string& songFolder, int length, const DemoProgress& progress,
                  std::stop_token stop) {
    const auto& songs = demoSongs();
    char scratchTemplate[] = "/tmp/vocalis-demo-XXXXXX";
    const char* scratch = ::mkdtemp(scratchTemplate);
    int present = 0;
    for (std::size_t i = 0; i < songs.size(); ++i) {
        const DemoSong& song = songs[i];
        const fs::path target =
            fs::path(songFolder) / song.folder / (song.title + " - " + song.singer + song.extension);
        if (fs::exists(target)) {
            ++present;
            continue;
        }
        if (!scratch) break;
        logParts("Making demo song ", i + 1, " of ", songs.size(), ": ", song.title);
        if (progress) progress(static_cast<int>(i) + 1, static_cast<int>(songs.size()));
        if (stop.stop_requested()) break;
        std::error_code error;
        fs::create_directories(target.parent_path(), error);
        // The texts go through files: drawtext would need every quote and colon escaped.
        const std::string titleFile = std::string(scratch) + "/title.txt";
        const std::string singerFile = std::string(scratch) + "/singer.txt";
        std::ofstream(titleFile) << song.title;
        std::ofstream(singerFile) << song.singer << " · Vocalis Player demo";
        const std::string bold = fontFile(true), regular = fontFile(false);
        const std::string card =
            "drawtext=fontfile=" + bold + ":textfile=" + titleFile +
            ":fontsize=84:fontcolor=white:x=(w-tw)/2:y=h/2-110:shadowcolor=black@0.6:shadowx=3:shadowy=3,"
            "drawtext=fontfile=" +
            regular + ":textfile=" + singerFile + ":fontsize=40:fontcolor=0xffd166:x=(w-tw)/2:y=h/2+10";
        const std::string seconds = std::to_string(length);
        const std::string temporary = std::string(scratch) + "/song" + song.extension;
        // One background picture, looped: drawing a gradient for every frame takes minutes.
        const std::string background = std::string(scratch) + "/background.png";
        const char* colours[][2] = {{"0x1d3557", "0x6a0572"},
                                    {"0x0b3d2e", "0x1b6ca8"},
                                    {"0x5f0f40", "0xfb8b24"},
                                    {"0x14213d", "0x9a031e"}};
        runProcess({"ffmpeg", "-y", "-v", "error", "-f", "lavfi", "-i",
                    std::string("gradients=s=1280x720:c0=") + colours[i % 4][0] + ":c1=" + colours[i % 4][1],
                    "-frames:v", "1", background},
                   stop);
        const int status = runProcess(
            {"ffmpeg", "-y", "-v", "error", "-loop", "1", "-framerate", "10", "-t", seconds, "-i", background,
             "-f", "lavfi", "-i",
             // Quoted: the expressions' commas would otherwise split the filter graph.
             "aevalsrc='" + backing(song.tonic) + "':s=48000:d=" + seconds, "-f", "lavfi", "-i",
             "aevalsrc='" + backing(song.tonic) + "+" + melody(song.tonic) + "':s=48000:d=" + seconds,
             "-filter_complex", "[0:v]" + card + "[v]", "-map", "[v]", "-map", "1:a", "-map", "2:a", "-c:v",
             "libx264", "-preset", "ultrafast", "-tune", "stillimage", "-pix_fmt", "yuv420p", "-c:a", "aac",
             "-b:a", "96k", "-metadata:s:a:0", "title=Nhạc", "-metadata:s:a:1", "title=Lời", "-f",
             song.extension == ".mkv" ? "matroska" : "mp4", temporary},
            stop);
        if (stop.stop_requested()) break;
        if (status != 0 || !fs::exists(temporary)) {
            logParts("Cannot make the demo song ", song.title, " (ffmpeg status ", status, ")");
            continue;
        }
        fs::rename(temporary, target, error);
        if (error) fs::copy_file(temporary, target, fs::copy_options::overwrite_existing, error);
        if (!error) ++present;
    }
    if (scratch) {
        std::error_code ignored;
        fs::remove_all(scratch, ignored);
    }
    return present;
}

}  // namespace vocalis
