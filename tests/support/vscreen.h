// A virtual terminal for tests: interprets the text and the ANSI sequences the
// console layer writes and keeps the resulting grid of cells, each with its
// text and its console attribute, so a test can check what a person would see.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class VirtualScreen {
  public:
    explicit VirtualScreen(int cols = 80, int rows = 25);

    // Interprets output as a terminal with OPOST would: LF also returns the
    // carriage. Can be called many times; a sequence may be split over calls.
    void feed(std::string_view output);

    // Row y (1-based) without its trailing blanks.
    std::string row(int y) const;
    // n cells from (x, y) on, blanks kept.
    std::string text(int x, int y, int n) const;
    // Console attribute of cell (x, y): foreground in bits 0-3, background 4-7.
    int attr(int x, int y) const;
    int cursorX() const { return cursorX_; }
    int cursorY() const { return cursorY_; }
    // The attribute that text written now would take.
    int currentAttr() const { return attr_; }
    // Every row, numbered, for failure messages.
    std::string dump() const;
    // Escape sequences that the layer is not expected to write, as received.
    const std::vector<std::string>& unknownSequences() const { return unknown_; }

  private:
    struct Cell {
        std::string text = " ";
        int attr = 7;
    };
    enum class State { Text, Escape, Csi };

    const Cell& cell(int x, int y) const;
    Cell& cell(int x, int y);
    void putByte(unsigned char byte);
    void putGlyph(const std::string& glyph);
    void control(unsigned char byte);
    void escapeByte(unsigned char byte);
    void csiByte(unsigned char byte);
    void runCsi(char final);
    void selectGraphicRendition();
    void lineFeed();
    void scrollUp();
    void blank(int x, int y, int n);
    std::vector<int> csiParams() const;

    int cols_;
    int rows_;
    std::vector<Cell> cells_;
    int cursorX_ = 1;
    int cursorY_ = 1;
    // A glyph written in the last column leaves the cursor there; the next
    // glyph first wraps to the next row, as terminals do.
    bool pendingWrap_ = false;
    int attr_ = 7;
    State state_ = State::Text;
    std::string sequence_;
    std::string glyph_;
    int glyphRemaining_ = 0;
    std::vector<std::string> unknown_;
};
