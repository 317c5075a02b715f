#pragma once
// Where the pop-up notice slides: out of the screen edge the task bar sits at, two pixels a
// step, and back. Platform-free so the geometry is tested on its own.

namespace dockline {

struct Rect {
    int left, top, right, bottom;
};
struct Point {
    int x, y;
    bool operator==(const Point&) const = default;
};

enum class TaskbarEdge { Top = 1, Left = 2, Right = 3, Bottom = 4 };

inline constexpr int kNoticeStep = 2;  // pixels a step

// The task bar's edge from the work area and the screen size.
TaskbarEdge FindTaskbarEdge(const Rect& workArea, int screenWidth, int screenHeight);

class NoticeMotion {
public:
    NoticeMotion(const Rect& workArea, TaskbarEdge edge, int width, int height);

    TaskbarEdge Edge() const { return edge_; }
    Point Start() const { return start_; }       // fully out of sight
    Point Shown() const;                         // fully out
    // Milliseconds between steps for a slide that lasts `duration` (at least 1).
    int StepDelay(int duration) const;
    // One step in; false (and no move) once fully shown.
    bool StepIn(Point& current) const;
    // One step out; false (and no move) once back at the start.
    bool StepOut(Point& current) const;

private:
    Rect work_;
    TaskbarEdge edge_;
    int width_, height_;
    Point start_;
};

}  // namespace dockline
