#include "jukebox/Plinkar.hpp"

#include <gtest/gtest.h>

namespace {

using jukebox::PlinkarC;
using jukebox::PlinkarM;
using jukebox::PlinkarV;

// One model, view and controller naming one another; members may refer to later members because
// each record only keeps the address.
struct Triple {
    PlinkarM model{view, ctrl};
    PlinkarV view{model, ctrl};
    PlinkarC ctrl{model, view};
};

TEST(Records, ACycleCanBeWalkedInEveryDirection) {
    const Triple triple;
    const PlinkarM& m = triple.model;
    EXPECT_EQ(&m.mView().vModel(), &m);
    EXPECT_EQ(&m.mCtrl().cModel(), &m);
    EXPECT_EQ(&m.mView().vCtrl(), &m.mCtrl());
    EXPECT_EQ(&m.mCtrl().cView(), &m.mView());
    EXPECT_EQ(&m.mView().vCtrl().cView().vModel().mCtrl(), &triple.ctrl);
}

TEST(Records, TwoCyclesStaySeparate) {
    const Triple first;
    const Triple second;
    EXPECT_NE(&first.model.mView(), &second.model.mView());
    EXPECT_EQ(&second.ctrl.cModel().mView().vCtrl(), &second.ctrl);
}

} // namespace
