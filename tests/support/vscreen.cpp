#include "vscreen.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

constexpr unsigned char kEsc = 0x1b;

// ANSI numbers colours red 1, green 2, blue 4; the console blue 1, green 2,
// red 4: the mapping swaps bits 0 and 2 and is its own inverse.
int consoleColour(int ansi) {
    return ((ansi & 1) << 2) | (ansi & 2) | ((ansi & 4) >> 2);
}

int utf8Length(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead < 0xF0 ? 3 : 1;
    }
    if (lead >= 0xC0) {
        return 2;
    }
    return 1;
}

}  // namespace

VirtualScreen::VirtualScreen(int cols, int rows)
    : cols_(cols), rows_(rows), cells_(static_cast<std::size_t>(cols * rows)) {
    if (cols < 1 || rows < 1) {
        throw std::invalid_argument("VirtualScreen needs at least one cell");
    }
}

const VirtualScreen::Cell& VirtualScreen::cell(int x, int y) const {
    if (x < 1 || x > cols_ || y < 1 || y > rows_) {
        throw std::out_of_range("VirtualScreen: no cell (" + std::to_string(x) + ", " +
                                std::to_string(y) + ")");
    }
    return cells_[static_cast<std::size_t>((y - 1) * cols_ + (x - 1))];
}

VirtualScreen::Cell& VirtualScreen::cell(int x, int y) {
    return const_cast<Cell&>(static_cast<const VirtualScreen*>(this)->cell(x, y));
}

void VirtualScreen::feed(std::string_view output) {
    for (char c : output) {
        putByte(static_cast<unsigned char>(c));
    }
}

void VirtualScreen::putByte(unsigned char byte) {
    if (state_ == State::Escape) {
        escapeByte(byte);
        return;
    }
    if (state_ == State::Csi) {
        csiByte(byte);
        return;
    }
    if (glyphRemaining_ > 0 && (byte & 0xC0) == 0x80) {
        glyph_.push_back(static_cast<char>(byte));
        if (--glyphRemaining_ == 0) {
            putGlyph(glyph_);
        }
        return;
    }
    if (glyphRemaining_ > 0) {
        // A multibyte character cut short is shown as what arrived of it.
        glyphRemaining_ = 0;
        putGlyph(glyph_);
    }
    if (byte < 0x20 || byte == 0x7f) {
        control(byte);
        return;
    }
    int length = utf8Length(byte);
    glyph_.assign(1, static_cast<char>(byte));
    if (length == 1) {
        putGlyph(glyph_);
    } else {
        glyphRemaining_ = length - 1;
    }
}

void VirtualScreen::putGlyph(const std::string& glyph) {
    if (pendingWrap_) {
        pendingWrap_ = false;
        cursorX_ = 1;
        lineFeed();
    }
    Cell& target = cell(cursorX_, cursorY_);
    target.text = glyph;
    target.attr = attr_;
    if (cursorX_ == cols_) {
        pendingWrap_ = true;
    } else {
        ++cursorX_;
    }
}

void VirtualScreen::control(unsigned char byte) {
    switch (byte) {
        case '\r':
            cursorX_ = 1;
            pendingWrap_ = false;
            break;
        case '\n':
            // The terminal's output processing turns LF into CR LF.
            cursorX_ = 1;
            pendingWrap_ = false;
            lineFeed();
            break;
        case '\b':
            if (cursorX_ > 1) {
                --cursorX_;
            }
            pendingWrap_ = false;
            break;
        case '\t':
            cursorX_ = std::min(cols_, ((cursorX_ - 1) / 8 + 1) * 8 + 1);
            break;
        case kEsc:
            state_ = State::Escape;
            sequence_.assign(1, static_cast<char>(kEsc));
            break;
        default:
            break;  // Bell and the rest leave the screen alone.
    }
}

void VirtualScreen::escapeByte(unsigned char byte) {
    sequence_.push_back(static_cast<char>(byte));
    if (byte == '[') {
        state_ = State::Csi;
        return;
    }
    state_ = State::Text;
    unknown_.push_back(sequence_);
}

void VirtualScreen::csiByte(unsigned char byte) {
    sequence_.push_back(static_cast<char>(byte));
    if (byte >= 0x40 && byte <= 0x7e) {
        state_ = State::Text;
        runCsi(static_cast<char>(byte));
    } else if (byte < 0x20 || byte > 0x7e || sequence_.size() > 64) {
        state_ = State::Text;
        unknown_.push_back(sequence_);
    }
}

std::vector<int> VirtualScreen::csiParams() const {
    std::vector<int> params;
    int value = -1;  // -1: the parameter was left out
    for (std::size_t i = 2; i + 1 < sequence_.size(); ++i) {
        char c = sequence_[i];
        if (c >= '0' && c <= '9') {
            value = (value < 0 ? 0 : value * 10) + (c - '0');
            if (value > 100000) {
                value = 100000;
            }
        } else if (c == ';') {
            params.push_back(value);
            value = -1;
        }
    }
    params.push_back(value);
    return params;
}

void VirtualScreen::runCsi(char final) {
    bool privateMode = sequence_.size() > 2 && sequence_[2] == '?';
    std::vector<int> params = csiParams();
    auto param = [&](std::size_t i, int fallback) {
        return i < params.size() && params[i] > 0 ? params[i] : fallback;
    };
    if (privateMode && (final == 'h' || final == 'l')) {
        return;  // Screen and cursor modes: nothing to record in the grid.
    }
    switch (final) {
        case 'H':
            cursorY_ = std::min(param(0, 1), rows_);
            cursorX_ = std::min(param(1, 1), cols_);
            pendingWrap_ = false;
            return;
        case 'J':
            if (params[0] == 2) {
                blank(1, 1, cols_ * rows_);
                return;
            }
            break;
        case 'K':
            if (params[0] <= 0) {
                blank(cursorX_, cursorY_, cols_ - cursorX_ + 1);
                return;
            }
            break;
        case 'm':
            if (!privateMode) {
                selectGraphicRendition();
                return;
            }
            break;
        default:
            break;
    }
    unknown_.push_back(sequence_);
}

void VirtualScreen::selectGraphicRendition() {
    for (int p : csiParams()) {
        int fg = attr_ & 0x0F;
        int bg = (attr_ >> 4) & 0x0F;
        if (p <= 0) {
            fg = 7;
            bg = 0;
        } else if (p >= 30 && p <= 37) {
            fg = consoleColour(p - 30);
        } else if (p >= 90 && p <= 97) {
            fg = consoleColour(p - 90) | 8;
        } else if (p == 39) {
            fg = 7;
        } else if (p >= 40 && p <= 47) {
            bg = consoleColour(p - 40);
        } else if (p >= 100 && p <= 107) {
            bg = consoleColour(p - 100) | 8;
        } else if (p == 49) {
            bg = 0;
        } else {
            unknown_.push_back(sequence_);
        }
        attr_ = (bg << 4) | fg;
    }
}

void VirtualScreen::lineFeed() {
    if (cursorY_ == rows_) {
        scrollUp();
    } else {
        ++cursorY_;
    }
}

void VirtualScreen::scrollUp() {
    cells_.erase(cells_.begin(), cells_.begin() + cols_);
    cells_.resize(static_cast<std::size_t>(cols_ * rows_));
    blank(1, rows_, cols_);
}

// Blanks n cells from (x, y) on, row after row, in the current attribute: the
// terminal erases in the current background.
void VirtualScreen::blank(int x, int y, int n) {
    std::size_t start = static_cast<std::size_t>((y - 1) * cols_ + (x - 1));
    for (std::size_t i = start; i < start + static_cast<std::size_t>(n) && i < cells_.size(); ++i) {
        cells_[i].text = " ";
        cells_[i].attr = attr_;
    }
}

std::string VirtualScreen::row(int y) const {
    std::string line = text(1, y, cols_);
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

std::string VirtualScreen::text(int x, int y, int n) const {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += cell(x + i, y).text;
    }
    return out;
}

int VirtualScreen::attr(int x, int y) const {
    return cell(x, y).attr;
}

std::string VirtualScreen::dump() const {
    std::string out;
    for (int y = 1; y <= rows_; ++y) {
        char number[16];
        std::snprintf(number, sizeof number, "%2d|", y);
        out += number;
        out += row(y);
        out += '\n';
    }
    out += "cursor (" + std::to_string(cursorX_) + ", " + std::to_string(cursorY_) + ")\n";
    return out;
}
