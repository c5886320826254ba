// Paints the skin: the fifteen images as containers, the C++ source that
// compiles them into the program, a preview of a lit frame and the icon.
//   tonebox_painter <output folder>

#include "canvas.h"
#include "preview.h"
#include "skin_art.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Named {
    const char* name;
    const Pixels* pixels;
};

std::vector<Named> Images(const SkinArt& a) {
    return {{"BackgroundImage", &a.background},
            {"BezelImage", &a.bezel},
            {"SpeakerImage", &a.speaker},
            {"SpeakerGlowImage", &a.speakerGlow},
            {"PlayGlowImage", &a.play},
            {"StopGlowImage", &a.stop},
            {"PauseGlowImage", &a.pause},
            {"RewindGlowImage", &a.rewind},
            {"ForwardGlowImage", &a.forward},
            {"MinimiseGlowImage", &a.minimise},
            {"CloseGlowImage", &a.close},
            {"KnobImage", &a.knob},
            {"FontImage", &a.font},
            {"ArrowDownImage", &a.arrowDown},
            {"ArrowUpImage", &a.arrowUp}};
}

std::string SourceFor(const std::vector<Named>& images) {
    std::string out = "// Made by tonebox_painter at build time: the skin's images as containers.\n"
                      "#include \"skin/skin_images.h\"\n";
    for (const Named& n : images) {
        const std::vector<std::uint8_t> bytes = EncodeContainer(*n.pixels);
        out += "\nalignas(4) const unsigned char " + std::string(n.name) + "[" +
               std::to_string(bytes.size()) + "] = {";
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (i % 32 == 0) out += "\n";
            out += std::to_string(bytes[i]);
            out += ',';
        }
        out += "\n};\n";
    }
    return out;
}

bool Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    if (WriteFile(path, bytes)) return true;
    std::fprintf(stderr, "tonebox_painter: cannot write %s\n", path.c_str());
    return false;
}

bool WritePng(const std::string& path, const Pixels& pixels, int scale) {
    Canvas big(pixels.width * scale, pixels.height * scale);
    Canvas small(pixels);
    cairo_scale(big.cr(), scale, scale);
    cairo_set_source_surface(big.cr(), small.surface(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(big.cr()), CAIRO_FILTER_NEAREST);
    cairo_paint(big.cr());
    if (big.writePng(path)) return true;
    std::fprintf(stderr, "tonebox_painter: cannot write %s\n", path.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tonebox_painter <output folder>\n");
        return 2;
    }
    const std::string dir = argv[1];
    const SkinArt art = PaintSkin();
    const std::vector<Named> images = Images(art);

    bool ok = true;
    for (const Named& n : images)
        ok = Write(dir + "/" + n.name + ".tga", EncodeContainer(*n.pixels)) && ok;
    const std::string source = SourceFor(images);
    ok = Write(dir + "/skin_images.cpp", {source.begin(), source.end()}) && ok;
    const Pixels preview = ComposePreview(art, true);
    ok = WritePng(dir + "/preview.png", preview, 1) && ok;
    ok = WritePng(dir + "/preview-2x.png", preview, 2) && ok;
    ok = WritePng(dir + "/preview-idle-2x.png", ComposePreview(art, false), 2) && ok;
    ok = WritePng(dir + "/tonebox.png", PaintIcon(), 1) && ok;
    return ok ? 0 : 1;
}
