#pragma once

#include "protocol/TimeText.h"

#include "program/Program.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace rz417 {

// A program file as a table: one row per step, and one row per line that was refused, with what
// is wrong on it. The step that runs is marked.
class ProgramModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        StepColumn,
        ModeColumn,
        SetpointColumn,
        InputColumn,
        DwellColumn,
        StartColumn,
        CommentColumn,
        ColumnCount
    };

    ProgramModel(const QString &fileName, std::shared_ptr<const Program> program,
                 QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The problems of the file as a whole, which belong to no row ("FILE: message").
    QStringList fileProblems() const;
    // The row that shows step index (from 0).
    int rowOfStep(std::size_t index) const;
    void setCurrentStep(std::optional<std::size_t> index);

private:
    struct Row
    {
        int line;
        std::optional<std::size_t> step;
        QString problem; // the line's problems, one per text line
    };

    QString m_fileName;
    std::shared_ptr<const Program> m_program;
    std::vector<Row> m_rows;
    std::vector<int> m_stepRows;
    std::optional<std::size_t> m_current;
};

// "1.5 s", for the table and the window's lines.
inline QString secondsCaption(std::chrono::milliseconds duration)
{
    return QString::fromStdString(secondsText(duration)) + QStringLiteral(" s");
}

} // namespace rz417
