// Draws the about box's background picture, a dark network of nodes over waves, and
// writes it as a JPEG of 473 x 290 with libjpeg:
//   veltran_about_picture resources/about.jpg
// (build target veltran_about_picture; not part of the default build).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <jpeglib.h>
#include <vector>

namespace {

constexpr int kWidth = 473;
constexpr int kHeight = 290;

struct Colour
{
    float r, g, b;
};

class Canvas
{
public:
    Canvas()
        : m_pixels(static_cast<std::size_t>(kWidth) * kHeight)
    {
    }

    Colour& at(int x, int y) { return m_pixels[static_cast<std::size_t>(y) * kWidth + x]; }

    void add(int x, int y, Colour c, float weight)
    {
        if (x < 0 || y < 0 || x >= kWidth || y >= kHeight || weight <= 0)
            return;
        Colour& p = at(x, y);
        p.r += c.r * weight;
        p.g += c.g * weight;
        p.b += c.b * weight;
    }

    // An anti-aliased line: brightness falls off with the distance from the segment.
    void line(float x0, float y0, float x1, float y1, Colour c, float width)
    {
        const int left = static_cast<int>(std::floor(std::min(x0, x1) - width - 1));
        const int right = static_cast<int>(std::ceil(std::max(x0, x1) + width + 1));
        const int top = static_cast<int>(std::floor(std::min(y0, y1) - width - 1));
        const int bottom = static_cast<int>(std::ceil(std::max(y0, y1) + width + 1));
        const float dx = x1 - x0, dy = y1 - y0;
        const float length2 = std::max(dx * dx + dy * dy, 1e-6f);
        for (int y = top; y <= bottom; ++y) {
            for (int x = left; x <= right; ++x) {
                const float t = std::clamp(((x - x0) * dx + (y - y0) * dy) / length2, 0.0f, 1.0f);
                const float distance = std::hypot(x - (x0 + t * dx), y - (y0 + t * dy));
                add(x, y, c, std::clamp(width - distance, 0.0f, 1.0f));
            }
        }
    }

    void glow(float cx, float cy, float radius, Colour c)
    {
        const int r = static_cast<int>(radius * 3);
        for (int y = static_cast<int>(cy) - r; y <= static_cast<int>(cy) + r; ++y) {
            for (int x = static_cast<int>(cx) - r; x <= static_cast<int>(cx) + r; ++x) {
                const float d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                add(x, y, c, std::exp(-d2 / (2 * radius * radius)));
            }
        }
    }

    std::vector<unsigned char> bytes() const
    {
        std::vector<unsigned char> out;
        out.reserve(m_pixels.size() * 3);
        for (const Colour& p : m_pixels) {
            for (float v : { p.r, p.g, p.b })
                out.push_back(static_cast<unsigned char>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f));
        }
        return out;
    }

private:
    std::vector<Colour> m_pixels;
};

class Random
{
public:
    float next()
    {
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<float>(m_state >> 40) / static_cast<float>(1ull << 24);
    }

private:
    std::uint64_t m_state = 0x5eed1234u;
};

void draw(Canvas& canvas)
{
    // Background: dark blue-grey, lighter towards the upper left.
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const float d = std::hypot(x - 200.0f, y - 110.0f) / 420.0f;
            const float shade = std::max(0.0f, 1.0f - d);
            canvas.at(x, y) = { 0.05f + 0.06f * shade, 0.07f + 0.10f * shade, 0.10f + 0.16f * shade };
        }
    }

    // Waves across the lower half, shaded by the distance from each curve so they
    // come out smooth rather than as a chain of overlapping segments.
    for (int wave = 0; wave < 7; ++wave) {
        const float base = 185.0f + wave * 12.0f;
        const float phase = wave * 0.7f;
        const Colour colour { 0.05f, 0.30f + wave * 0.03f, 0.40f + wave * 0.03f };
        for (int x = 0; x < kWidth; ++x) {
            const float y = base + 9.0f * std::sin(x * 0.018f + phase) + 5.0f * std::sin(x * 0.041f - phase);
            const float slope
                = 9.0f * 0.018f * std::cos(x * 0.018f + phase) - 5.0f * 0.041f * std::cos(x * 0.041f - phase);
            const float scale = 1.0f / std::sqrt(1.0f + slope * slope);
            for (int py = static_cast<int>(y) - 3; py <= static_cast<int>(y) + 3; ++py)
                canvas.add(x, py, colour, std::clamp(1.1f - std::fabs(py - y) * scale, 0.0f, 1.0f));
        }
    }

    // A network of nodes, densest where the box shows the picture unobstructed.
    Random random;
    struct Node
    {
        float x, y, size;
    };
    std::vector<Node> nodes;
    for (int i = 0; i < 34; ++i) {
        const float x = 125.0f + random.next() * 340.0f;
        const float y = 15.0f + random.next() * 165.0f;
        nodes.push_back({ x, y, 1.5f + random.next() * 2.5f });
    }
    nodes.push_back({ 205.0f, 95.0f, 6.0f }); // the local computer
    const Node& hub = nodes.back();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        for (std::size_t j = i + 1; j < nodes.size(); ++j) {
            const float distance = std::hypot(nodes[i].x - nodes[j].x, nodes[i].y - nodes[j].y);
            if (distance < 70.0f)
                canvas.line(nodes[i].x, nodes[i].y, nodes[j].x, nodes[j].y, { 0.10f, 0.25f, 0.35f }, 0.8f);
        }
        if (&nodes[i] != &hub && nodes[i].size > 3.0f)
            canvas.line(hub.x, hub.y, nodes[i].x, nodes[i].y, { 0.35f, 0.30f, 0.05f }, 0.9f);
    }
    for (const Node& node : nodes) {
        canvas.glow(node.x, node.y, node.size * 2.2f, { 0.05f, 0.20f, 0.30f });
        canvas.glow(node.x, node.y, node.size * 0.6f, { 0.50f, 0.80f, 0.90f });
    }
    canvas.glow(hub.x, hub.y, 16.0f, { 0.35f, 0.28f, 0.05f });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.jpg\n", argv[0]);
        return 2;
    }
    Canvas canvas;
    draw(canvas);
    std::vector<unsigned char> pixels = canvas.bytes();

    FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    jpeg_compress_struct info {};
    jpeg_error_mgr error {};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 88, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = &pixels[static_cast<std::size_t>(info.next_scanline) * kWidth * 3];
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(out) == 0 ? 0 : 1;
}
