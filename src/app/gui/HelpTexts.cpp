#include "HelpTexts.h"

#include <QApplication>
#include <QCursor>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QStringList>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

#include "GuiWidgets.h"
#include "analysis/ReportFields.h"

namespace torvo::gui {
namespace {

// Texts as stored, "~" for a line break.
const std::map<QString, const char*>& Topics() {
    static const std::map<QString, const char*> topics = {
        {"aspect",
         N_(" Пропорции кадра:~~ sar - отношение сторон в пикселях хранения (ширина / высота кадра).~ par - форма "
         "одного пикселя (ширина пикселя / высота).~ dar - пропорции показываемой картинки: sar x par.~~ Фильм с "
         "dar 16:9 в кадре 720 x 576 хранится анаморфно: его пиксели шире квадрата.")},
        {"interlace",
         N_(" Чересстрочное видео (I/L) состоит из двух полей, снятых в разные моменты; прогрессивное (PROG) - из "
         "целых кадров.~~ TFF / BFF - какое поле идет первым (верхнее или нижнее).~ 3:2 - кадры с повтором поля "
         "(pulldown) из киноматериала 24 кадр/сек.~ PPF - картинки, закодированные по одному полю.")},
        {"gop",
         N_(" GOP - группа картинок от одного I-кадра до следующего.~~ N - длина группы, M - расстояние между "
         "опорными (I/P) кадрами.~ Полоса показывает долю I-, P- и B-кадров.")},
        {"convert",
         N_(" Преобразование: как получить из этого видео стандартный формат той же ТВ-системы (VCD, SVCD, CVD, DVD) "
         "или размер с квадратными пикселями для ПК (AVI), сохраняя геометрию картинки.~~ Строка 1 - до какого "
         "размера сжать или растянуть, строка 2 - сколько добавить или обрезать по краям.~ Кнопки + и - меняют "
         "размер AVI, 16:9 и 4:3 - пропорции цели.")},
        {"status",
         N_(" Сост. говорит, установлен ли в системе декодер для этого потока: кодек установлен, не установлен, не "
         "нужен, или статус не определен.")},
        {"registry",
         N_(" Torvo хранит свои настройки в файле ~/.config/Quellmark/Torvo.conf.~~ \"Очистить\" удаляет этот файл; "
         "до конца работы программа больше ничего туда не пишет. Новые записи появятся при следующем запуске.")},
        {"os",
         N_(" Ярлыки Torvo: на Рабочем столе, в меню приложений и в меню \"Сценарии\" файлового менеджера "
         "(аналог \"Отправить\"). \"Обновить\" пересоздает отмеченные ярлыки.")},
        {"preload",
         N_(" Предзагрузка: сведения об установленных кодеках собираются сразу после запуска, в фоне. Иначе - при "
         "открытии первого файла, и первый файл обрабатывается дольше.")},
        {"gman",
         N_(" Режим эксперта открывает в меню команды управления кодеками: приоритет фильтра, снятие с регистрации, "
         "удаление медиатипов. Эти команды меняют настройки системы мультимедиа.")},
        {"fastscan",
         N_(" Полный просмотр: файл AVI или MPEG читается целиком, в фоне, чтобы подсчитать кадры, битрейт, "
         "структуру GOP и доли потоков. Без него Torvo читает только заголовки.")},
        // The VGS window's explanations.
        {"mainkey",
         N_(" Расстояние между ключевыми кадрами:~~ N - длина GOP: самое частое расстояние между началами GOP "
         "(меньше 32).~ M - расстояние между опорными кадрами (I/P), если GOP регулярен.~ max - наибольшее "
         "расстояние между I-кадрами.~ Процент - доля GOP, совпадающих с самым частым шаблоном.")},
        {"fields",
         N_(" Поля: черта у правого края клетки показывает порядок полей картинки.~~ Верхняя половина - первым идет "
         "верхнее поле (или картинка - одно верхнее поле), нижняя - нижнее. Обе половины - повтор первого поля "
         "(repeat_first_field, 3:2).~ Красная черта - порядок полей сменился по сравнению с предыдущим кадром.~~ "
         "Доступно, когда полный просмотр читал поля (чересстрочное MPEG-2).")},
        {"bframes",
         N_(" Зависимости B: серые линии связывают B-кадры с опорными кадрами, от которых они предсказаны.~~ В "
         "порядке показа B-кадр связан с соседними опорными слева и справа; перед закрытым GOP связь вправо "
         "обрывается.~ В порядке кодирования две дорожки: верхняя ведет к следующему опорному кадру, нижняя - к "
         "предыдущему; после начала закрытого GOP нижней дорожки нет.")},
        {"seq",
         N_(" Метки в клетках:~~ бирюзовый край слева - начало GOP, справа - следующий GOP закрыт;~ желтая полоса - разрыв "
         "тайм-кода GOP;~ розовая - разрыв системного времени (SCR) пакетов;~ голубая - пропуск в temporal "
         "reference;~ оранжевая - broken_link в следующем заголовке GOP;~ сиреневая - MPEG-4 VOP без данных со "
         "своим временем (повтор кадра);~ синяя черта - место пустого VOP упакованного потока (packed "
         "bitstream).")},
        {"ixn",
         N_(" По GOP (N): каждая строка содержит целые GOP по N картинок, так что начала GOP стоят друг под другом "
         "и неровные GOP сразу видны.~ Номера: последняя цифра номера картинки в порядке показа.")},
        {"order",
         N_(" Порядок: в порядке показа картинки стоят так, как их видит зритель; в порядке кодирования - как они "
         "лежат в файле. Опорный кадр передается раньше B-кадров, которые показываются перед ним: I B B P в "
         "показе - это I P B B в файле.")},
        {"batch",
         N_(" Когда режим экспорта включен, запрошенные данные передаются в файл(ы) экспорта каждый раз, когда "
         "обрабатывается новый медиафайл.  Можно загрузить сразу несколько файлов в обычном окне открытия файлов "
         "или перетаскиванием их на программу Torvo. Это называется \"пакетный режим\".~~ В пакетном режиме файлы "
         "могут быть обработаны по одному нажатием кнопки \"следующий файл\" или клавиши \"+\".  Можно также "
         "обработать все оставшиеся файлы \"безостановочно\".  Это возможно только при включенном экспорте, "
         "поскольку в ином случае это бессмысленно.")},
        {"modes",
         N_(" Примеры разных режимов экспорта:~~ ==> \"Для каждого AVI свой файл (папка - авто)\"~~ При проверке "
         "файла c:\\movies\\memento.avi будет создан файл экспорта c:\\movies\\memento.txt.~~ ==> \"Для каждого "
         "AVI свой файл, выбрать папку\"~~ При проверке файла c:\\movies\\memento.avi создается файл экспорта "
         "c:\\моя_папка\\memento.txt. Папку 'моя_папка' можете выбрать сами любую.~~ ==> \"Все дописывать в "
         "прежний файл (укажи имя)\"~~ При проверке файла c:\\movies\\memento.avi добавляется строка данных в "
         "файл c:\\моя_папка\\мой_файл.txt. Папку и имя файла можете выбрать сами любые.")},
    };
    return topics;
}

constexpr const char* kKeyListHead = N_(
    "Подсказка: Щелкните правой кнопкой мышки и \"pin\" для сдвига этой подсказки.~~ Обозначения полей:~");
constexpr const char* kKeyListTail = N_(
    "~~ \\r\\n   новая строка~ \\n      новая строка (текст для unix)~ \\t        tab~ #        комментарий в "
    "файле формата");

// A frameless window that closes when the mouse leaves it, unless pinned.
// The stored texts' line breaks; "~/" (the home folder in a path) stays.
QString PopupText(const QString& stored) {
    QString text;
    text.reserve(stored.size());
    for (int i = 0; i < stored.size(); ++i) {
        const bool homePath = stored[i] == '~' && i + 1 < stored.size() && stored[i + 1] == '/';
        text += stored[i] == '~' && !homePath ? QChar('\n') : stored[i];
    }
    return text;
}

// A small window beside the mouse. Unpinned it goes when the mouse leaves it
// or a click lands elsewhere; a right click pins it, and a pinned one can be
// dragged away with the left button and goes on a left click.
class CPopup : public QFrame {
public:
    CPopup(QWidget* owner, const QString& text) : QFrame(owner, Qt::ToolTip) {
        setAttribute(Qt::WA_DeleteOnClose);
        setFrameShape(QFrame::Box);
        setObjectName("helpPopup");
        auto* layout = new QVBoxLayout(this);
        label_ = new QLabel(PopupText(text), this);
        label_->setObjectName("helpText");
        label_->setWordWrap(true);
        label_->setMaximumWidth(520);
        // The label passes the mouse on, so that the frame can be dragged.
        label_->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout->addWidget(label_);
        setStyleSheet("QFrame#helpPopup { background: #ffffe1; }");
        qApp->installEventFilter(this);
    }
    bool Pinned() const { return pinned_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress && !pinned_) {
            const auto* press = static_cast<QMouseEvent*>(event);
            if (watched->isWidgetType() && !frameGeometry().contains(press->globalPosition().toPoint())) close();
        }
        return QFrame::eventFilter(watched, event);
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::RightButton) {
            pinned_ = !pinned_;
            setProperty("pinned", pinned_);
            setStyleSheet(pinned_ ? "QFrame#helpPopup { background: #e1f0ff; }"
                                  : "QFrame#helpPopup { background: #ffffe1; }");
            return;
        }
        grabbed_ = event->globalPosition().toPoint() - pos();
        dragged_ = false;
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!pinned_ || !(event->buttons() & Qt::LeftButton)) return;
        const QPoint to = event->globalPosition().toPoint() - grabbed_;
        if ((to - pos()).manhattanLength() > 0) dragged_ = true;
        move(to);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && !dragged_) close();
    }
    void leaveEvent(QEvent*) override {
        if (!pinned_) close();
    }

private:
    QLabel* label_;
    QPoint grabbed_;
    bool pinned_ = false;
    bool dragged_ = false;
};

// Where a popup of that size goes beside the point: right of and below it,
// else moved left or above it, so that all of it is on the screen.
QPoint PopupPosition(const QPoint& at, const QSize& size, const QRect& screen) {
    QPoint p = at + QPoint(8, 8);
    if (p.x() + size.width() > screen.right() + 1) p.setX(std::max(screen.left(), at.x() - 8 - size.width()));
    if (p.y() + size.height() > screen.bottom() + 1) p.setY(std::max(screen.top(), at.y() - 8 - size.height()));
    p.setX(std::min(p.x(), screen.right() + 1 - size.width()));
    return p;
}

}  // namespace

QString HelpText(const QString& link) {
    QString topic = link;
    if (topic.startsWith(kLinkScheme)) topic = topic.mid(int(std::char_traits<char>::length(kLinkScheme)));
    if (topic.startsWith("local.")) topic = topic.mid(6);
    const auto it = Topics().find(topic);
    if (it != Topics().end()) return Tq(it->second);
    if (topic == "key_file") return FieldKeyList({"%FILE", "%CONT"});
    if (topic == "key_video") return FieldKeyList({"%VIDEO"});
    if (topic == "key_audio") return FieldKeyList({"%AUDIO"});
    return "?";
}

QString FieldKeyList(const QStringList& prefixes) {
    QString text = Tq(kKeyListHead);
    for (std::string_view key : CExport::Keys()) {
        const QString name = Qs(key);
        for (const QString& prefix : prefixes)
            if (name.startsWith(prefix)) {
                text += "~ " + name;
                break;
            }
    }
    return text + Tq(kKeyListTail);
}

QWidget* ShowPopup(QWidget* owner, const QString& text) {
    auto* popup = new CPopup(owner, text);
    popup->adjustSize();
    const QPoint at = QCursor::pos();
    const QScreen* screen = QGuiApplication::screenAt(at);
    if (!screen) screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    popup->move(screen ? PopupPosition(at, popup->size(), screen->availableGeometry()) : at + QPoint(8, 8));
    popup->show();
    return popup;
}

QString LinkHtml(const QString& topic, const QString& label) {
    return QString("<a href=\"%1local.%2\">%3</a>").arg(kLinkScheme, topic, label);
}

}  // namespace torvo::gui
