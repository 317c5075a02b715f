// Where the notice slides from, how far and how fast.
#include <gtest/gtest.h>

#include "dockline/core/notifier_motion.h"

namespace {

using dockline::NoticeMotion;
using dockline::Point;
using dockline::TaskbarEdge;

TEST(NoticeMotion, TaskbarEdgeFromTheWorkArea) {
    EXPECT_EQ(dockline::FindTaskbarEdge({0, 0, 1920, 1040}, 1920, 1080), TaskbarEdge::Bottom);
    EXPECT_EQ(dockline::FindTaskbarEdge({0, 40, 1920, 1080}, 1920, 1080), TaskbarEdge::Top);
    EXPECT_EQ(dockline::FindTaskbarEdge({60, 0, 1920, 1080}, 1920, 1080), TaskbarEdge::Left);
    EXPECT_EQ(dockline::FindTaskbarEdge({0, 0, 1860, 1080}, 1920, 1080), TaskbarEdge::Right);
    EXPECT_EQ(dockline::FindTaskbarEdge({0, 0, 1920, 1080}, 1920, 1080), TaskbarEdge::Bottom) << "no task bar";
}

TEST(NoticeMotion, BottomTaskbarSlidesUpSixtyStepsAndBack) {
    const NoticeMotion motion({0, 0, 1920, 1040}, TaskbarEdge::Bottom, 148, 120);
    EXPECT_EQ(motion.Start(), (Point{1772, 1040}));
    EXPECT_EQ(motion.Shown(), (Point{1772, 920}));
    EXPECT_EQ(motion.StepDelay(300), 5);
    Point current = motion.Start();
    int steps = 0;
    while (motion.StepIn(current)) ++steps;
    EXPECT_EQ(steps, 60);
    EXPECT_EQ(current, (Point{1772, 920}));
    steps = 0;
    while (motion.StepOut(current)) ++steps;
    EXPECT_EQ(steps, 60);
    EXPECT_EQ(current, motion.Start());
}

TEST(NoticeMotion, LeftTaskbarSlidesInFromTheLeftAtTheBottom) {
    const NoticeMotion motion({60, 0, 1920, 1080}, TaskbarEdge::Left, 148, 120);
    EXPECT_EQ(motion.Start(), (Point{60 - 148, 960}));
    EXPECT_EQ(motion.Shown(), (Point{60, 960}));
    EXPECT_EQ(motion.StepDelay(300), 4) << "300 ms over 74 steps";
    Point current = motion.Start();
    while (motion.StepIn(current)) {
    }
    EXPECT_EQ(current, motion.Shown());
}

TEST(NoticeMotion, RightAndTopTaskbars) {
    const NoticeMotion right({0, 0, 1860, 1080}, TaskbarEdge::Right, 148, 120);
    EXPECT_EQ(right.Start(), (Point{1860, 960}));
    Point current = right.Start();
    while (right.StepIn(current)) {
    }
    EXPECT_EQ(current, right.Shown());
    const NoticeMotion top({0, 40, 1920, 1080}, TaskbarEdge::Top, 148, 120);
    EXPECT_EQ(top.Start(), (Point{1772, -80}));
    current = top.Start();
    while (top.StepIn(current)) {
    }
    EXPECT_EQ(current, (Point{1772, 40}));
}

TEST(NoticeMotion, ATinySkinStillEndsItsSlide) {
    const NoticeMotion motion({0, 0, 800, 600}, TaskbarEdge::Bottom, 10, 1);
    EXPECT_EQ(motion.StepDelay(300), 300) << "one step, never a division by zero";
    Point current = motion.Start();
    int steps = 0;
    while (motion.StepIn(current) && steps < 10) ++steps;
    EXPECT_EQ(steps, 1);
}

}  // namespace
