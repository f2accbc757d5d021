#include "shell/FileCheck.hpp"
#include "shell/SdlHandles.hpp"
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

class PictureCheck : public ::testing::Test {
  protected:
    void TearDown() override { std::filesystem::remove(path_); }

    /// The test asset b.png with `edit` applied, checked as a picture.
    template <typename Edit> std::string verdict(Edit edit) {
        std::ifstream in("data/b.png", std::ios::binary);
        Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        edit(file);
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()),
                   static_cast<std::streamsize>(file.size()));
        return shell::checkPictureFile(path_.c_str()) ? "" : SDL_GetError();
    }

    std::string path_ = "filecheck-picture.png";
};

// The asset's chunks: IHDR at 8, then IDAT, then IEND. Only an ancillary chunk ahead of the
// picture data that runs past the end is refused: libpng ends the others itself.
TEST_F(PictureCheck, AncillaryChunkPastTheEndIsRefused) {
    EXPECT_EQ(verdict([](Bytes&) {}), "");
    EXPECT_EQ(verdict([](Bytes& file) { file.resize(file.size() - 12); }), ""); // no IEND
    EXPECT_EQ(verdict([](Bytes& file) { file[9] = 0x10; }), ""); // IHDR runs past the end
    const auto ancillary = [](Bytes& file) {
        Bytes text;
        put(text, 0x10000000, 4, true);
        put(text, "tEXt");
        put(text, "abc");
        file.insert(file.begin() + 33, text.begin(), text.end());
        file.resize(33 + text.size());
    };
    EXPECT_EQ(verdict(ancillary),
              "Couldn't load filecheck-picture.png: PNG chunk runs past the end of the file");
    EXPECT_EQ(shell::checkPictureFile("no-such-picture.png"), true);
}

} // namespace
