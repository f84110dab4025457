#include "window/entries_window.h"

#include "text/entries.h"
#include "text/page_text.h"
#include "window/widgets.h"

#include <algorithm>
#include <optional>
#include <vector>

#include <QAbstractListModel>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace clipnest::window {

// The entries as the page holds them: every name and description in one block of bytes, each row its offsets. The
// page is looked through twice, once to size the block, so the entries are copied once and the page not at all.
class EntriesModel final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void setEntries(std::string_view pageText) {
        beginResetModel();
        std::size_t count = 0, size = 0;
        forEachLiveEntry(pageText, [&](std::string_view name, std::string_view description) {
            ++count;
            size += name.size() + description.size();
        });
        bytes_.clear();
        bytes_.shrink_to_fit();
        bytes_.reserve(size);
        rows_.clear();
        rows_.reserve(count);
        forEachLiveEntry(pageText, [this](std::string_view name, std::string_view description) {
            rows_.push_back({bytes_.size(), name.size(), description.size()});
            bytes_.append(name);
            bytes_.append(description);
        });
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()) ||
            (role != Qt::DisplayRole && role != Qt::UserRole)) {
            return {};
        }
        const Row& row = rows_[static_cast<std::size_t>(index.row())];
        const std::string_view all(bytes_);
        const QString name = QString::fromStdString(codePageToUtf8(all.substr(row.at, row.name)));
        // The name stays as it is for the boxes it goes into; the row shows it escaped.
        if (role == Qt::UserRole) {
            return name;
        }
        return shown(name.toStdString()) + QStringLiteral("  \u2013  ") +
               shown(shownText(all.substr(row.at + row.name, row.description)));
    }

    // The row of the entry `fileName` (UTF-8), or -1.
    int rowOf(const std::string& fileName) const {
        const std::optional<std::string> bytes = toCodePage(fileName);
        const std::string_view all(bytes_);
        for (std::size_t i = 0; bytes && i < rows_.size(); ++i) {
            if (all.substr(rows_[i].at, rows_[i].name) == *bytes) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

private:
    struct Row {
        std::size_t at, name, description;
    };
    std::string bytes_;
    std::vector<Row> rows_;
};

EntriesWindow::EntriesWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("wndEntries"));
    setWindowTitle(QStringLiteral("Entries on the homepage"));
    auto* layout = new QVBoxLayout(this);
    hint_ = new QLabel(this);
    hint_->setObjectName(QStringLiteral("lblEntriesHint"));
    hint_->setWordWrap(true);
    layout->addWidget(hint_);
    list_ = new QListView(this);
    list_->setObjectName(QStringLiteral("lstEntries"));
    // Every row is one line: the view measures one and draws only the rows in sight.
    list_->setUniformItemSizes(true);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    model_ = new EntriesModel(list_);
    list_->setModel(model_);
    layout->addWidget(list_);
    // The picked entry's poster, and a new one from the frame at the time asked for.
    auto* row = new QHBoxLayout();
    poster_ = new QLabel(QStringLiteral("Pick an entry to see its poster."), this);
    poster_->setObjectName(QStringLiteral("lblPoster"));
    poster_->setFixedSize(192, 108);
    poster_->setAlignment(Qt::AlignCenter);
    poster_->setWordWrap(true);
    row->addWidget(poster_);
    row->addLayout(pickedControls());
    layout->addLayout(row);
    resize(480, 540);
    connect(list_, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (onPick) {
            onPick(index.data(Qt::UserRole).toString().toStdString());
        }
    });
    connect(convert_, &QPushButton::clicked, this, [this] {
        if (onConvert && !picked_.empty()) {
            onConvert(picked_);
        }
    });
    connect(remake_, &QPushButton::clicked, this, [this] {
        if (onRemake && !picked_.empty()) {
            onRemake(picked_, posterAt_->value());
        }
    });
}

// What is done with the picked entry: its poster made again, its video converted, its block moved.
QVBoxLayout* EntriesWindow::pickedControls() {
    auto* controls = new QVBoxLayout();
    posterAt_ = new QDoubleSpinBox(this);
    posterAt_->setObjectName(QStringLiteral("spnPosterAt"));
    posterAt_->setPrefix(QStringLiteral("Poster at "));
    posterAt_->setSuffix(QStringLiteral(" s"));
    posterAt_->setDecimals(1);
    posterAt_->setRange(0, 86400);
    posterAt_->setValue(1);
    controls->addWidget(posterAt_);
    remake_ = new QPushButton(QStringLiteral("Remake"), this);
    remake_->setObjectName(QStringLiteral("cmdRemakePoster"));
    remake_->setToolTip(QStringLiteral("Makes the poster again from the frame at that time (with ffmpeg)"));
    remake_->setEnabled(false);
    controls->addWidget(remake_);
    convert_ = new QPushButton(QStringLiteral("Convert"), this);
    convert_->setObjectName(QStringLiteral("cmdConvert"));
    convert_->setToolTip(QStringLiteral("Makes the video an MP4 every browser plays (with ffmpeg), keeping the "
                                        "original; a video that plays already is left alone"));
    convert_->setEnabled(false);
    controls->addWidget(convert_);
    // The picked entry's block of the homepage moves above the one before it, or below the one after it.
    up_ = new QPushButton(QStringLiteral("Move up"), this);
    up_->setObjectName(QStringLiteral("cmdMoveUp"));
    up_->setToolTip(QStringLiteral("Moves the picked entry above the one before it on the homepage"));
    down_ = new QPushButton(QStringLiteral("Move down"), this);
    down_->setObjectName(QStringLiteral("cmdMoveDown"));
    down_->setToolTip(QStringLiteral("Moves the picked entry below the one after it on the homepage"));
    for (QPushButton* move : {up_, down_}) {
        move->setEnabled(false);
        controls->addWidget(move);
        connect(move, &QPushButton::clicked, this, [this, up = move == up_] {
            if (onMove && !picked_.empty()) {
                onMove(picked_, up);
            }
        });
    }
    controls->addStretch();
    return controls;
}

void EntriesWindow::showPoster(const std::string& fileName, const std::string& jpeg) {
    picked_ = fileName;
    for (QPushButton* button : {remake_, convert_, up_, down_}) {
        button->setEnabled(!fileName.empty());
    }
    QPixmap picture;
    if (!jpeg.empty() &&
        picture.loadFromData(reinterpret_cast<const uchar*>(jpeg.data()), static_cast<uint>(jpeg.size()), "JPG")) {
        poster_->setPixmap(picture.scaled(poster_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    } else {
        poster_->setPixmap(QPixmap());
        poster_->setText(QStringLiteral("No poster yet."));
    }
}

void EntriesWindow::showEntries(std::string_view pageText) {
    model_->setEntries(pageText);
    // The picked entry stays picked where it now stands.
    if (const int row = picked_.empty() ? -1 : model_->rowOf(picked_); row >= 0) {
        list_->setCurrentIndex(model_->index(row, 0));
        list_->scrollTo(model_->index(row, 0));
    }
}

void EntriesWindow::setHint(const QString& hint) {
    hint_->setText(hint);
}

void EntriesWindow::open(const QWidget& main) {
    if (!isVisible()) {
        const QRect frame = main.frameGeometry();
        QPoint at = frame.topRight() + QPoint(8, 0);
        if (const QScreen* screen = main.screen()) {
            const QRect room = screen->availableGeometry();
            if (at.x() + width() > room.right()) {
                at.setX(std::max(room.left(), frame.left() - width() - 8));
            }
            at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - height())));
        }
        move(at);
    }
    show();
    raise();
}

} // namespace clipnest::window
