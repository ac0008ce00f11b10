#include "ui/ProblemTableModel.h"

#include <gtest/gtest.h>

namespace {

using quality::Problem;
using quality::ProblemKind;
using Arrangement = ProblemTableModel::Arrangement;

std::vector<std::uint32_t> framesShown(const ProblemTableModel& model) {
    std::vector<std::uint32_t> frames;
    for (int row = 0; row < model.rowCount(); ++row) {
        frames.push_back(model.problemAt(row)->frame);
    }
    return frames;
}

Problem problem(ProblemKind kind, std::uint32_t frame, std::size_t call) {
    Problem made;
    made.kind = kind;
    made.frame = frame;
    made.call = call;
    return made;
}

} // namespace

// Rows arranged on a worker show what the model would have arranged itself,
// and rows arranged for an arrangement changed since are not used.
TEST(ProblemTableModel, RowsArrangedElsewhereShowAsTheModelArrangesThem) {
    auto problems = std::make_shared<const std::vector<Problem>>(std::vector<Problem>{
        problem(ProblemKind::Vnak, 1, 2),
        problem(ProblemKind::Reject, 2, 0),
        problem(ProblemKind::Retransmission, 3, 1),
        problem(ProblemKind::LostVoice, 3, 2),
        problem(ProblemKind::Unanswered, 5, Problem::noCall),
    });
    const struct {
        Arrangement arrangement;
        std::vector<std::uint32_t> frames;
    } cases[] = {
        {{}, {1, 2, 3, 3, 5}},
        {{{true, true, true}, ProblemTableModel::Frame, Qt::DescendingOrder}, {5, 3, 3, 2, 1}},
        {{{true, true, true}, ProblemTableModel::Kind, Qt::AscendingOrder}, {3, 2, 3, 5, 1}},
        {{{true, true, true}, ProblemTableModel::Call, Qt::AscendingOrder}, {5, 2, 3, 1, 3}},
        {{{true, false, true}, ProblemTableModel::Frame, Qt::AscendingOrder}, {2, 3}},
    };
    for (const auto& [arrangement, frames] : cases) {
        ProblemTableModel model;
        model.setShown(arrangement.shown[0], arrangement.shown[1], arrangement.shown[2]);
        model.sort(arrangement.column, arrangement.order);
        model.setProblems(nullptr, problems);
        EXPECT_EQ(framesShown(model), frames) << arrangement.column;

        ProblemTableModel elsewhere;
        elsewhere.setShown(arrangement.shown[0], arrangement.shown[1], arrangement.shown[2]);
        elsewhere.sort(arrangement.column, arrangement.order);
        elsewhere.setProblems(
            nullptr, problems,
            ProblemTableModel::ArrangedRows{
                arrangement, ProblemTableModel::rowsOf(*problems, arrangement, nullptr)});
        EXPECT_EQ(framesShown(elsewhere), frames) << arrangement.column;

        // Rows made for the default arrangement, shown after a change: unused.
        elsewhere.setProblems(nullptr, problems,
                              ProblemTableModel::ArrangedRows{Arrangement{}, {4, 3, 2, 1, 0}});
        const bool isDefault = arrangement == Arrangement{};
        const std::vector<std::uint32_t> reversed{5, 3, 3, 2, 1};
        EXPECT_EQ(framesShown(elsewhere), isDefault ? reversed : frames);
    }
}
