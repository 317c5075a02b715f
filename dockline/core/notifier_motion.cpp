#include "notifier_motion.h"

#include <algorithm>

namespace dockline {

TaskbarEdge FindTaskbarEdge(const Rect& workArea, int screenWidth, int screenHeight) {
    if (workArea.right - workArea.left < screenWidth) {
        return workArea.left == 0 ? TaskbarEdge::Right : TaskbarEdge::Left;
    }
    if (workArea.bottom - workArea.top < screenHeight && workArea.top != 0) return TaskbarEdge::Top;
    return TaskbarEdge::Bottom;
}

NoticeMotion::NoticeMotion(const Rect& workArea, TaskbarEdge edge, int width, int height)
    : work_(workArea), edge_(edge), width_(width), height_(height) {
    switch (edge_) {
    case TaskbarEdge::Right:
        start_ = {work_.right, work_.bottom - height_};
        break;
    case TaskbarEdge::Left:
        start_ = {work_.left - width_, work_.bottom - height_};
        break;
    case TaskbarEdge::Top:
        start_ = {work_.right - width_, work_.top - height_};
        break;
    case TaskbarEdge::Bottom:
        start_ = {work_.right - width_, work_.bottom};
        break;
    }
}

Point NoticeMotion::Shown() const {
    switch (edge_) {
    case TaskbarEdge::Right:
        return {work_.right - width_, start_.y};
    case TaskbarEdge::Left:
        return {work_.left, start_.y};
    case TaskbarEdge::Top:
        return {start_.x, work_.top};
    case TaskbarEdge::Bottom:
        break;
    }
    return {start_.x, work_.bottom - height_};
}

int NoticeMotion::StepDelay(int duration) const {
    const int distance = (edge_ == TaskbarEdge::Left || edge_ == TaskbarEdge::Right) ? width_ : height_;
    // A skin under two pixels in the sliding direction takes the whole time in one step.
    const int steps = std::max(1, distance / kNoticeStep);
    return std::max(1, duration / steps);
}

bool NoticeMotion::StepIn(Point& current) const {
    switch (edge_) {
    case TaskbarEdge::Right:
        if (current.x <= start_.x - width_) return false;
        current.x -= kNoticeStep;
        return true;
    case TaskbarEdge::Left:
        if (current.x - start_.x >= width_) return false;
        current.x += kNoticeStep;
        return true;
    case TaskbarEdge::Top:
        if (current.y - start_.y >= height_) return false;
        current.y += kNoticeStep;
        return true;
    case TaskbarEdge::Bottom:
        break;
    }
    if (current.y <= start_.y - height_) return false;
    current.y -= kNoticeStep;
    return true;
}

bool NoticeMotion::StepOut(Point& current) const {
    switch (edge_) {
    case TaskbarEdge::Right:
        if (current.x >= start_.x) return false;
        current.x += kNoticeStep;
        return true;
    case TaskbarEdge::Left:
        if (current.x <= start_.x) return false;
        current.x -= kNoticeStep;
        return true;
    case TaskbarEdge::Top:
        if (current.y <= start_.y) return false;
        current.y -= kNoticeStep;
        return true;
    case TaskbarEdge::Bottom:
        break;
    }
    if (current.y >= start_.y) return false;
    current.y += kNoticeStep;
    return true;
}

}  // namespace dockline
