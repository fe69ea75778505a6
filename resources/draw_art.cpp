// Draws Harvix's own artwork: the 241 x 112 logo and the 16 x 16 icon.
// Usage: draw_art <output folder>; writes logo.bmp, icon.ico and art_data.cpp.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Rgb {
    std::uint8_t r, g, b;
};
constexpr Rgb kWhite{255, 255, 255}, kBlue{0x1f, 0x5f, 0xa8}, kNavy{0x17, 0x2b, 0x4d},
    kGrey{0x8a, 0x94, 0xa3}, kSky{0x7f, 0xb8, 0xea};

// 5 x 7 capitals for the few letters the logo needs.
const char* Glyph(char c) {
    switch (c) {
        case 'H':
            return "10001100011000111111100011000110001";
        case 'A':
            return "01110100011000111111100011000110001";
        case 'R':
            return "11110100011000111110101001001010001";
        case 'V':
            return "10001100011000110001100010101000100";
        case 'I':
            return "01110001000010000100001000010001110";
        case 'X':
            return "10001100010101000100010101000110001";
        case 'T':
            return "11111001000010000100001000010000100";
        case 'E':
            return "11111100001000011110100001000011111";
        case 'L':
            return "10000100001000010000100001000011111";
        case 'N':
            return "10001110011010110011100011000110001";
        case 'O':
            return "01110100011000110001100011000101110";
        case 'D':
            return "11110100011000110001100011000111110";
        default:
            return "00000000000000000000000000000000000";
    }
}

struct Canvas {
    int w, h;
    std::vector<Rgb> px;
    Canvas(int w_, int h_) : w(w_), h(h_), px(static_cast<std::size_t>(w_ * h_), kWhite) {}
    void Set(int x, int y, Rgb c) {
        if (x >= 0 && y >= 0 && x < w && y < h) px[static_cast<std::size_t>(y * w + x)] = c;
    }
    void Fill(int x0, int y0, int x1, int y1, Rgb c) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) Set(x, y, c);
    }
    // Rounded square with corner radius r.
    void Rounded(int x0, int y0, int size, int r, Rgb c) {
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                int dx = x < r ? r - x : (x >= size - r ? x - (size - r - 1) : 0);
                int dy = y < r ? r - y : (y >= size - r ? y - (size - r - 1) : 0);
                if (dx * dx + dy * dy <= r * r) Set(x0 + x, y0 + y, c);
            }
    }
    void Text(int x, int y, const std::string& s, int scale, Rgb c) {
        for (char ch : s) {
            const char* g = Glyph(ch);
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if (g[row * 5 + col] == '1')
                        Fill(x + col * scale, y + row * scale, x + (col + 1) * scale,
                             y + (row + 1) * scale, c);
            x += 6 * scale;
        }
    }
};

void Put16(std::string& s, unsigned v) {
    s += char(v & 0xFF), s += char((v >> 8) & 0xFF);
}
void Put32(std::string& s, unsigned v) {
    Put16(s, v & 0xFFFF), Put16(s, v >> 16);
}

std::string Bmp24(const Canvas& c) {
    const unsigned row = (static_cast<unsigned>(c.w) * 3 + 3) & ~3u;
    const unsigned image = row * static_cast<unsigned>(c.h);
    std::string s = "BM";
    Put32(s, 54 + image), Put32(s, 0), Put32(s, 54);
    Put32(s, 40), Put32(s, c.w), Put32(s, c.h), Put16(s, 1), Put16(s, 24), Put32(s, 0),
        Put32(s, image);
    Put32(s, 3780), Put32(s, 3780), Put32(s, 0), Put32(s, 0);
    for (int y = c.h - 1; y >= 0; --y) {  // bottom-up
        std::string line;
        for (int x = 0; x < c.w; ++x) {
            Rgb p = c.px[static_cast<std::size_t>(y * c.w + x)];
            line += char(p.b), line += char(p.g), line += char(p.r);
        }
        line.resize(row, '\0');
        s += line;
    }
    return s;
}

// 16 x 16, 4 bits per pixel, with the 16-colour palette the icon uses.
std::string Ico16(const Canvas& c, const std::vector<Rgb>& palette) {
    auto index = [&](Rgb p) {
        for (std::size_t i = 0; i < palette.size(); ++i)
            if (palette[i].r == p.r && palette[i].g == p.g && palette[i].b == p.b)
                return static_cast<unsigned>(i);
        return 0u;
    };
    std::string dib;
    Put32(dib, 40), Put32(dib, 16), Put32(dib, 32), Put16(dib, 1), Put16(dib, 4), Put32(dib, 0);
    Put32(dib, 128 + 64), Put32(dib, 0), Put32(dib, 0), Put32(dib, 16), Put32(dib, 0);
    for (int i = 0; i < 16; ++i) {
        Rgb p =
            i < static_cast<int>(palette.size()) ? palette[static_cast<std::size_t>(i)] : kWhite;
        dib += char(p.b), dib += char(p.g), dib += char(p.r), dib += '\0';
    }
    for (int y = 15; y >= 0; --y)
        for (int x = 0; x < 16; x += 2)
            dib += char((index(c.px[static_cast<std::size_t>(y * 16 + x)]) << 4) |
                        index(c.px[static_cast<std::size_t>(y * 16 + x + 1)]));
    dib += std::string(64, '\0');  // AND mask: fully opaque
    std::string s;
    Put16(s, 0), Put16(s, 1), Put16(s, 1);
    s += char(16), s += char(16), s += char(16), s += '\0';
    Put16(s, 1), Put16(s, 4), Put32(s, static_cast<unsigned>(dib.size())), Put32(s, 22);
    return s + dib;
}

std::string CArray(const char* name, const std::string& bytes) {
    std::string out = "extern const unsigned char " + std::string(name) + "[] = {";
    char buf[8];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 20 == 0) out += "\n    ";
        std::snprintf(buf, sizeof buf, "%u,", static_cast<unsigned char>(bytes[i]));
        out += buf;
    }
    return out + "\n};\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_art <folder>\n");
        return 2;
    }
    const std::string dir = argv[1];

    Canvas logo(241, 112);
    logo.Rounded(8, 20, 72, 14, kBlue);
    logo.Text(21, 35, "H", 7, kWhite);
    logo.Fill(14, 86, 74, 89, kSky);
    logo.Text(92, 28, "HARVIX", 4, kNavy);
    logo.Fill(92, 64, 232, 66, kGrey);
    logo.Text(92, 74, "TARVELL", 2, kBlue);
    logo.Text(92, 92, "INVENTAIRE", 1, kGrey);

    Canvas icon(16, 16);
    icon.Rounded(0, 0, 16, 3, kBlue);
    icon.Text(3, 2, "H", 2, kWhite);
    icon.Fill(2, 13, 14, 14, kSky);
    // Only the H's 5 x 7 glyph at scale 2 fits: 10 x 14 from (3, 2), clipped.

    const std::string bmp = Bmp24(logo), ico = Ico16(icon, {kWhite, kBlue, kSky});
    std::ofstream(dir + "/logo.bmp", std::ios::binary) << bmp;
    std::ofstream(dir + "/icon.ico", std::ios::binary) << ico;
    std::ofstream cpp(dir + "/art_data.cpp");
    cpp << "#include <cstddef>\nnamespace harvix::art {\n"
        << CArray("kLogo", bmp) << "extern const std::size_t kLogoSize = sizeof kLogo;\n"
        << CArray("kIcon", ico) << "extern const std::size_t kIconSize = sizeof kIcon;\n}\n";
    return cpp ? 0 : 1;
}
