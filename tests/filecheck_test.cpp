#include "shell/FileCheck.hpp"
#include "shell/SdlHandles.hpp"
#include "shell/filecheck/Bytes.hpp"
#include "support/MixerSuite.hpp"

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void put(Bytes& out, std::uint32_t value, int bytes, bool bigEndian = false) {
    for (int i = 0; i < bytes; ++i) {
        const int shift = 8 * (bigEndian ? bytes - 1 - i : i);
        out.push_back(static_cast<unsigned char>((value >> shift) & 0xFFU));
    }
}
void put(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

/// A WAV file: RIFF, WAVE, optional LIST chunk, fmt and 600 bytes of silence.
Bytes wav(std::uint32_t encoding, std::uint32_t channels, std::uint32_t rate,
          std::uint32_t blockAlign, std::uint32_t bits, bool withList = false) {
    Bytes body;
    put(body, "WAVE");
    if (withList) {
        put(body, "LIST");
        put(body, 4, 4);
        put(body, "INFO");
    }
    put(body, "fmt ");
    put(body, 20, 4);
    put(body, encoding, 2);
    put(body, channels, 2);
    put(body, rate, 4);
    put(body, rate * channels * 2, 4);
    put(body, blockAlign, 2);
    put(body, bits, 2);
    put(body, 2, 2); // the extra bytes: IMA ADPCM's samples per block
    const std::uint32_t perBlock = blockAlign > 4 * channels && channels > 0
                                       ? (blockAlign - 4 * channels) * 2 / channels + 1
                                       : 1;
    put(body, perBlock, 2);
    put(body, "data");
    put(body, 600, 4);
    body.resize(body.size() + 600);
    Bytes file;
    put(file, "RIFF");
    put(file, static_cast<std::uint32_t>(body.size()), 4);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

/// A 16-bit AIFF of `frames` frames at 44100 Hz.
Bytes aiff(std::uint32_t channels, std::uint32_t frames) {
    Bytes body;
    put(body, "AIFFCOMM");
    put(body, 18, 4, true);
    put(body, channels, 2, true);
    put(body, frames, 4, true);
    put(body, 16, 2, true);
    const unsigned char rate[10] = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    body.insert(body.end(), std::begin(rate), std::end(rate));
    put(body, "SSND");
    put(body, 8 + channels * frames * 2, 4, true);
    body.resize(body.size() + 8 + channels * frames * 2);
    Bytes file;
    put(file, "FORM");
    put(file, static_cast<std::uint32_t>(body.size()), 4, true);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

/// A Creative Voice file: its header, then `blocks`, then the end block.
Bytes voc(const Bytes& blocks) {
    Bytes file;
    put(file, std::string_view("Creative Voice File\x1A", 20));
    put(file, 26, 2);
    put(file, 0x010A, 2);
    put(file, 0x1129, 2);
    file.insert(file.end(), blocks.begin(), blocks.end());
    file.push_back(0);
    return file;
}

/// A text block, which SDL_mixer passes over.
Bytes vocText() {
    Bytes block;
    put(block, 5 | (3U << 8U), 4);
    put(block, "hi");
    block.push_back(0);
    return block;
}

/// A block of 8-bit samples at rate code 0xA6 (11111 Hz), after a text block when `text`.
Bytes vocData(bool text) {
    Bytes blocks = text ? vocText() : Bytes{};
    put(blocks, 1 | (602U << 8U), 4);
    put(blocks, 0xA6, 1);
    put(blocks, 0, 1);
    blocks.resize(blocks.size() + 600, 0x80);
    return blocks;
}

constexpr std::uint32_t kPcm = 1;
constexpr std::uint32_t kImaAdpcm = 0x11;

bool isClassic() {
    return SDL_Linked_Version()->patch < 50;
}

/// The check of `file` as an effect: "" when it passes, else SDL's error text. The stream must be
/// back at its start either way, and a file that passes must load.
std::string effectVerdict(const Bytes& file) {
    const shell::RwPtr stream(SDL_RWFromConstMem(file.data(), static_cast<int>(file.size())));
    const bool passes = shell::checkEffectFile(stream.get(), "data/s0.wav");
    const std::string error = passes ? "" : SDL_GetError();
    EXPECT_EQ(SDL_RWtell(stream.get()), 0);
    return error;
}

class FileCheck : public support::MixerSuite {};

// Ordinary sounds pass and then load, also where the converter works hardest on classic SDL
// 1.2: 8-bit mono at 4000 Hz and 16-bit stereo at 192 kHz.
TEST_F(FileCheck, OrdinaryEffectsPassAndLoad) {
    const std::vector<Bytes> files{
        wav(kPcm, 2, 44100, 4, 16),
        wav(kPcm, 1, 4000, 1, 8),
        wav(kPcm, 2, 192000, 4, 16),
        wav(kPcm, 1, 22050, 2, 16, true),
        wav(kImaAdpcm, 1, 22050, 256, 4),
        wav(kImaAdpcm, 2, 44100, 1024, 4),
        aiff(2, 300),
        aiff(4, 7),
        voc(vocData(false)),
        voc(vocData(true)),
    };
    for (const Bytes& file : files) {
        ASSERT_EQ(effectVerdict(file), "");
        Mix_Chunk* chunk =
            Mix_LoadWAV_RW(SDL_RWFromConstMem(file.data(), static_cast<int>(file.size())), 1);
        EXPECT_NE(chunk, nullptr) << SDL_GetError();
        Mix_FreeChunk(chunk);
    }
    for (const auto& entry : std::filesystem::directory_iterator("data")) {
        if (entry.path().extension() == ".wav") {
            std::ifstream in(entry.path(), std::ios::binary);
            const Bytes file((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
            EXPECT_EQ(effectVerdict(file), "") << entry.path();
        }
    }
}

// Each shape that crashes classic SDL 1.2 is refused on every library, in SDL 2's words, also
// behind a LIST chunk; a rate the classic converter cannot reach is refused only there.
TEST_F(FileCheck, EffectShapesThatCrashAreRefused) {
    const std::string prefix = "Couldn't load data/s0.wav: ";
    EXPECT_EQ(effectVerdict(wav(kPcm, 0, 44100, 4, 16, true)),
              prefix + "Invalid number of channels");
    EXPECT_EQ(effectVerdict(wav(kPcm, 256, 44100, 4, 16)),
              prefix + "Number of channels exceeds limit of 255");
    EXPECT_EQ(effectVerdict(wav(kPcm, 2, 0, 4, 16)), prefix + "Invalid sample rate");
    EXPECT_EQ(effectVerdict(wav(kImaAdpcm, 1, 44100, 0, 4)), prefix + "Invalid block alignment");
    EXPECT_EQ(effectVerdict(wav(kPcm, 2, 1, 4, 16)),
              isClassic() ? prefix + "Source rate is too low" : "");
    EXPECT_EQ(effectVerdict(wav(kPcm, 2, 44100 * 1024, 4, 16)),
              isClassic() ? prefix + "Source rate is too high" : "");
}

// Other formats under an effect's name: an AIFF whose frames SDL_mixer would copy past its
// buffer, and Creative Voice blocks that crash it, also behind a text block.
TEST_F(FileCheck, AiffAndVoiceShapesThatCrashAreRefused) {
    const std::string prefix = "Couldn't load data/s0.wav: ";
    EXPECT_EQ(effectVerdict(aiff(3, 1)), prefix + "Unsupported number of AIFF channels");
    EXPECT_EQ(effectVerdict(aiff(3, 8)), ""); // 48 bytes: the mask keeps them all
    Bytes mono;
    put(mono, 8 | (4U << 8U), 4);
    put(mono, 0xD2E6, 2);
    put(mono, 0, 2); // 8-bit, mono
    const Bytes data = vocData(false);
    mono.insert(mono.end(), data.begin(), data.end());
    EXPECT_EQ(effectVerdict(voc(mono)), prefix + "Mono extended VOC blocks are not supported");
    Bytes noChannels = vocText();
    put(noChannels, 9 | (612U << 8U), 4);
    put(noChannels, 22050, 4);
    put(noChannels, 8, 1);
    put(noChannels, 0, 1); // no channels
    noChannels.resize(noChannels.size() + 606);
    EXPECT_EQ(effectVerdict(voc(noChannels)), prefix + "Invalid number of channels");
}

// What the check does not know goes on to the mixer, which reports it as before.
TEST_F(FileCheck, UnknownOrShortEffectsGoToTheMixer) {
    EXPECT_EQ(effectVerdict(Bytes{'R', 'I', 'F', 'F'}), "");
    EXPECT_EQ(effectVerdict(Bytes(100, 'x')), "");
    Bytes list = wav(kPcm, 0, 44100, 4, 16, true);
    list[16] = 0xFF; // the LIST chunk's length now runs past the end
    list[17] = 0xFF;
    EXPECT_EQ(effectVerdict(list), "");
}

void writeFile(const std::string& path, const Bytes& file) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The limits hold whatever the format: a sound the mixer's int-sized buffer cannot hold once
// converted, channels the classic converter cannot resample (it fails without a word), an Ogg
// stream whose tail would take libvorbisfile minutes to search.
TEST_F(FileCheck, SoundsPastTheLimitsAreRefused) {
    const std::string prefix = "Couldn't load data/s0.wav: ";
    Bytes big = wav(kPcm, 1, 8000, 1, 8);
    big[16] = 16; // the plain layout: fmt's 16 bytes, then data
    big.erase(big.begin() + 36, big.begin() + 40);
    big[40] = 0, big[41] = 0, big[42] = 0, big[43] = 0x10; // data claims 256 MiB
    EXPECT_EQ(effectVerdict(big),
              prefix + "the sound would take more than 2 GiB once converted for the sound device");
    EXPECT_EQ(effectVerdict(wav(kPcm, 3, 22050, 6, 16)),
              isClassic() ? prefix + "3 channels at 22050 Hz cannot be converted to the sound "
                                     "device's 44100 Hz"
                          : "");
    EXPECT_EQ(effectVerdict(wav(kPcm, 3, 44100, 6, 16)), "");
    Bytes ogg = readFile("data/bgm1.ogg");
    EXPECT_EQ(effectVerdict(ogg), "");
    EXPECT_TRUE(shell::checkMusicFile("data/bgm1.ogg"));
    ogg.resize(ogg.size() + 70000);
    EXPECT_EQ(effectVerdict(ogg), prefix + "it ends in more than 64 KiB that are not Ogg pages, "
                                           "which would take minutes to open");
    writeFile("filecheck-track.ogg", ogg);
    EXPECT_FALSE(shell::checkMusicFile("filecheck-track.ogg"));
    std::filesystem::remove("filecheck-track.ogg");
}

// A format the libraries would read but the jukebox does not is refused by its first bytes; so is
// what is not an ordinary file, before anything opens it (the corpus test tries FIFOs).
TEST_F(FileCheck, OtherFormatsAndFilesAreRefused) {
    EXPECT_EQ(effectVerdict(Bytes{'f', 'L', 'a', 'C', 0, 0, 0, 34}),
              "Couldn't load data/s0.wav: a FLAC sound; sounds are read as WAV, AIFF, Ogg Vorbis "
              "or Creative Voice");
    const std::string picture = "filecheck-format.png";
    using namespace std::string_view_literals;
    for (const std::string_view head : {"GIF89a"sv, "/* XPM */"sv, "gimp xcf v011"sv, "P6\n9 9\n"sv,
                                        "II*\0"sv, "P7 332"sv, "\0\0\1\0\1\0"sv}) {
        writeFile(picture, Bytes(head.begin(), head.end()));
        EXPECT_FALSE(shell::checkPictureFile(picture.c_str())) << head;
        EXPECT_NE(std::string(SDL_GetError()).find("; pictures are read as BMP, JPEG or PNG"),
                  std::string::npos);
    }
    std::filesystem::remove(picture);
    EXPECT_TRUE(shell::checkOrdinaryFile("no-such-file.wav"));
    EXPECT_FALSE(shell::checkOrdinaryFile("data"));
    EXPECT_STREQ(SDL_GetError(), "Couldn't load data: a directory, not an ordinary file");
    EXPECT_FALSE(shell::checkPictureFile("data"));
}

class PictureCheck : public ::testing::Test {
  protected:
    void TearDown() override { std::filesystem::remove(path_); }

    /// The test asset b.png with `edit` applied, checked as a picture.
    template <typename Edit> std::string verdict(Edit edit) {
        Bytes file = readFile("data/b.png");
        edit(file);
        writeFile(path_, file);
        return shell::checkPictureFile(path_.c_str()) ? "" : SDL_GetError();
    }

    // One file per test: ctest runs the tests side by side, in the same directory.
    std::string path_ = std::string("filecheck-") +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".png";
};

/// Gives the chunk at `at` the checksum its type and data call for.
void sealChunk(Bytes& file, std::size_t at) {
    const std::uint32_t length = shell::filecheck::be32(&file[at]);
    const std::uint32_t crc = shell::filecheck::crc32(0xFFFFFFFFU, &file[at + 4], length + 4);
    Bytes sum;
    put(sum, crc ^ 0xFFFFFFFFU, 4, true);
    std::copy(sum.begin(), sum.end(), file.begin() + static_cast<long>(at + 8 + length));
}

// The asset's chunks: IHDR at 8, then IDAT, then IEND. A chunk that runs past the end, a critical
// one whose checksum fails, or a first chunk other than IHDR is refused: libpng would stop at each
// with its own lines on standard error, and read on for ever after an ancillary chunk ahead of the
// picture data that runs past the end.
TEST_F(PictureCheck, DamagedChunksAreRefused) {
    const std::string prefix = "Couldn't load " + path_ + ": PNG ";
    EXPECT_EQ(verdict([](Bytes&) {}), "");
    EXPECT_EQ(verdict([](Bytes& file) { file.resize(file.size() - 12); }), ""); // no IEND
    EXPECT_EQ(verdict([](Bytes& file) { file[9] = 0x10; }),
              prefix + "chunk runs past the end of the file"); // IHDR
    const auto ancillary = [](Bytes& file) {
        Bytes text;
        put(text, 0x10000000, 4, true);
        put(text, "tEXt");
        put(text, "abc");
        file.insert(file.begin() + 33, text.begin(), text.end());
        file.resize(33 + text.size());
    };
    EXPECT_EQ(verdict(ancillary), prefix + "chunk runs past the end of the file");
    EXPECT_EQ(verdict([](Bytes& file) { file[45] ^= 1U; }), // in IDAT's data
              prefix + "chunk does not match its checksum: the file is damaged");
    EXPECT_EQ(verdict([](Bytes& file) { // libpng skips a damaged ancillary chunk: so does the check
                  const Bytes text = {0, 0, 0, 1, 't', 'E', 'X', 't', 'a', 0, 0, 0, 0};
                  file.insert(file.begin() + 33, text.begin(), text.end());
              }),
              "");
    EXPECT_EQ(verdict([](Bytes& file) {
                  file[12] = 'v'; // vHDR, an ancillary chunk, before IHDR
                  sealChunk(file, 8);
              }),
              prefix + "picture does not begin with its header chunk");
    EXPECT_EQ(shell::checkPictureFile("no-such-picture.png"), true);
}

// SDL 1.2 keeps a row's length in 16 bits, and a picture's area bounds its decoding time.
TEST_F(PictureCheck, PicturesPastTheLimitsAreRefused) {
    const auto ofSize = [](std::uint32_t width, std::uint32_t height) {
        return [=](Bytes& file) {
            Bytes size;
            put(size, width, 4, true);
            put(size, height, 4, true);
            std::copy(size.begin(), size.end(), file.begin() + 16);
            sealChunk(file, 8);
        };
    };
    EXPECT_EQ(verdict(ofSize(16383, 4096)), "");
    EXPECT_EQ(verdict(ofSize(16384, 1)), "Couldn't load " + path_ +
                                             ": a picture of 16384 × 1 pixels; pictures are read "
                                             "up to 16383 pixels a side and 67108864 in all");
    EXPECT_NE(verdict(ofSize(9000, 9000)), "");
}

} // namespace
