#include "window/ProgramModel.h"

#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPalette>

#include <algorithm>
#include <map>

namespace rz417 {

ProgramModel::ProgramModel(const QString &fileName, std::shared_ptr<const Program> program,
                           QObject *parent)
    : QAbstractTableModel(parent), m_fileName(fileName), m_program(std::move(program))
{
    std::map<int, QString> problems;
    for (const ProgramProblem &problem : m_program->problems) {
        if (problem.line <= 0)
            continue;
        QString &text = problems[problem.line];
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QString::fromStdString(problem.message);
    }
    for (std::size_t i = 0; i < m_program->steps.size(); ++i)
        m_rows.push_back({m_program->steps[i].line, i, {}});
    for (const auto &[line, text] : problems)
        m_rows.push_back({line, std::nullopt, text});
    std::stable_sort(m_rows.begin(), m_rows.end(),
                     [](const Row &a, const Row &b) { return a.line < b.line; });
    m_stepRows.resize(m_program->steps.size());
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        if (m_rows[r].step)
            m_stepRows[*m_rows[r].step] = static_cast<int>(r);
    }
}

int ProgramModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ProgramModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ProgramModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row &row = m_rows[static_cast<std::size_t>(index.row())];
    if (!row.step) {
        if (role == Qt::ForegroundRole)
            return QBrush(QColor(176, 0, 0));
        if (role == Qt::ToolTipRole || (role == Qt::DisplayRole && index.column() == CommentColumn))
            return row.problem;
        if (role == Qt::DisplayRole && index.column() == StepColumn)
            return QStringLiteral("line %1").arg(row.line);
        return {};
    }
    if (role == Qt::FontRole && row.step == m_current) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role == Qt::BackgroundRole && row.step == m_current)
        return QBrush(QColor(255, 236, 160));
    if (role == Qt::TextAlignmentRole && index.column() != CommentColumn &&
        index.column() != ModeColumn)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};

    const ProgramStep &step = m_program->steps[*row.step];
    const ModeInfo *mode = modeInfo(step.mode);
    switch (index.column()) {
    case StepColumn:
        return static_cast<qulonglong>(*row.step + 1);
    case ModeColumn:
        return mode ? QString::fromLatin1(mode->name) : QString();
    case SetpointColumn:
        if (!mode)
            return QString();
        return QString::fromStdString(fixedText(step.setpoint, mode->decimals)) + QLatin1Char(' ') +
               QString::fromUtf8(mode->unitCaption);
    case InputColumn:
        return step.input ? QString::fromLatin1(*step.input ? "on" : "off") : QString();
    case DwellColumn:
        return secondsCaption(step.dwell);
    case StartColumn:
        return secondsCaption(step.start);
    case CommentColumn:
        return QString::fromStdString(step.comment);
    default:
        return {};
    }
}

QVariant ProgramModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    static const char *const kHeaders[ColumnCount] = {"Step",  "Mode",  "Setpoint", "Input",
                                                      "Dwell", "Start", "Comment"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kHeaders[section])
                                                 : QVariant();
}

QStringList ProgramModel::fileProblems() const
{
    QStringList texts;
    for (const ProgramProblem &problem : m_program->problems) {
        if (problem.line <= 0)
            texts << QString::fromStdString(problemText(m_fileName.toStdString(), problem));
    }
    return texts;
}

int ProgramModel::rowOfStep(std::size_t index) const
{
    return index < m_stepRows.size() ? m_stepRows[index] : -1;
}

void ProgramModel::setCurrentStep(std::optional<std::size_t> index)
{
    if (index == m_current)
        return;
    const auto old = m_current;
    m_current = index;
    for (const auto &changed : {old, index}) {
        if (changed && rowOfStep(*changed) >= 0) {
            const int r = rowOfStep(*changed);
            emit dataChanged(this->index(r, 0), this->index(r, ColumnCount - 1));
        }
    }
}

} // namespace rz417
