#include "inventory/InventoryService.h"

#include <chrono>

#include "base/Text.h"
#include "base/Translate.h"

namespace torvo {

InventoryGatherer EnumerationGatherer(std::function<std::unique_ptr<IInventoryPlatform>()> makePlatform,
                                      GuidNameLookup guidNames) {
    return [makePlatform = std::move(makePlatform), guidNames = std::move(guidNames)](
               CodecInventory& inventory, std::vector<InventoryMessage>& messages) {
        std::unique_ptr<IInventoryPlatform> platform = makePlatform();
        if (!platform) return;
        EnumerationContext context{*platform, guidNames,
                                   [&messages](const std::string& caption, const std::string& text) {
                                       messages.push_back({caption, text});
                                   }};
        EnumerateInventory(inventory, context);
        if (!inventory.unavailable.empty()) messages.push_back(UnavailableMessage(inventory.unavailable));
    };
}

InventoryMessage UnavailableMessage(const std::string& reason) {
    return {"GStreamer", N_("Статус кодеков неопределен, сведения о кодеках не получить: ") + reason};
}

CInventoryService::~CInventoryService() {
    if (inventory_) inventory_->abandoned.store(true, std::memory_order_relaxed);
    if (worker_.joinable()) worker_.join();
}

void CInventoryService::Start(bool useCodecInfo, bool force, bool refresh) {
    if (!useCodecInfo && !force) return;
    if (refresh && inventory_ && inventory_->finished.load(std::memory_order_acquire)) {
        if (worker_.joinable()) worker_.join();
        inventory_.reset();
        published_ = false;
    }
    if (inventory_) return;
    inventory_ = std::make_unique<CodecInventory>();
    inventory_->finished.store(false, std::memory_order_release);
    inventory_->crashRecord = &crash_;
    workerMessages_.clear();
    CodecInventory* target = inventory_.get();
    worker_ = std::thread([this, target] {
        try {
            gatherer_(*target, workerMessages_);
        } catch (...) {
            // Whatever failed, the table holds what was gathered.
        }
        {
            std::lock_guard<std::mutex> lock(wakeMutex_);
            target->finished.store(true, std::memory_order_release);
        }
        wake_.notify_all();
    });
}

CInventoryService::WaitResult CInventoryService::Wait(bool& useCodecInfo, bool force,
                                                      const std::function<void()>& keepAlive, int pollMs,
                                                      int maxPolls) {
    Start(useCodecInfo, force);
    if (!inventory_) return WaitResult::kOff;
    for (int i = 0; i < maxPolls && !published_; ++i) {
        Tick();
        if (published_) break;
        if (keepAlive) keepAlive();
        std::unique_lock<std::mutex> lock(wakeMutex_);
        CodecInventory* target = inventory_.get();
        wake_.wait_for(lock, std::chrono::milliseconds(pollMs),
                       [target] { return target->finished.load(std::memory_order_acquire); });
    }
    Tick();
    if (published_) return WaitResult::kPublished;
    useCodecInfo = false;
    messages_.push_back({N_("Не грузится кодек "), N_("Ожидание сведений о кодеках.   ")});
    return WaitResult::kTimedOut;
}

void CInventoryService::Tick() {
    if (published_ || !inventory_ || !inventory_->finished.load(std::memory_order_acquire)) return;
    if (worker_.joinable()) worker_.join();
    for (InventoryMessage& m : workerMessages_) messages_.push_back(std::move(m));
    workerMessages_.clear();
    published_ = true;
}

void CInventoryService::PreloadTick(bool preloadCodecInfo, bool useCodecInfo) {
    if (preloadStarted_) return;
    preloadCountdown_ -= 51;
    if (preloadCountdown_ > 0) return;
    preloadStarted_ = true;
    if (preloadCodecInfo) Start(useCodecInfo);
}

bool CInventoryService::Running() const {
    return inventory_ && !inventory_->finished.load(std::memory_order_acquire);
}

int CInventoryService::Progress() const { return inventory_ ? inventory_->Count() : 0; }

std::string CInventoryService::StatusText() const {
    return published_ ? Format(N_("Готово (есть %d кодеков)"), inventory_->Count()) : std::string();
}

std::vector<InventoryMessage> CInventoryService::TakeMessages() {
    std::vector<InventoryMessage> out;
    out.swap(messages_);
    return out;
}

std::string CrashReportText(int32_t state, std::string_view name, std::string_view path, std::string_view ownProgram) {
    std::string text;
    if (state == kCrashInRender) text = N_("Внимание: При попытке воспроизвести этот файл GStreamer рухнул.\n\n");
    else if (state == kCrashReported) text = N_("Внимание: При попытке Torvo получить информацию о кодеке GStreamer рухнул.\n\n");
    else text = N_("Внимание: Torvo перехватил условия аварии.\n\n");
    text += N_("Причина этого, как правило, в испорченных, не настроенных, конфликтующих или криво написанных драйверах "
            "кодека.  Вероятно, и притом весьма, что при попытке воспроизвести этот файл и другие проигрыватели "
            "рухнут, поскольку большинство их работает через GStreamer.  ");
    const bool pathKnown = !path.empty() && path != ownProgram;
    if (pathKnown || !name.empty()) {
        text += N_("Torvo перехватил эту аварию и попытался определить, в каком кодеке или фильтре ее причина; его "
                "удаление или переустановка может помочь делу.\n\nПредположительно, это кодек:\n\n");
        if (pathKnown) text += std::string(path) + "\r\n";
        text += name;
    } else {
        text += N_("Хотя Torvo перехватил эту аварию, попытка определить, в каком кодеке ее причина, не удалась. К "
                "сожалению, пока больше помочь нечем.");
    }
    return text;
}

std::string TakeCrashReport(CrashRecord& crash, std::string_view ownProgram) {
    int32_t expected = kCrashInInventory;
    if (!crash.state.compare_exchange_strong(expected, kCrashReported)) return {};
    std::string text = CrashReportText(kCrashReported, crash.culpritName.View(), crash.culpritPath.View(), ownProgram);
    crash.culpritName.Clear();
    crash.culpritPath.Clear();
    return text;
}

const char* CrashNoticeText() {
    return N_("Во избежание последующих аварий, взаимодействие с системными кодеками и рендеринг файлов временно "
           "отключены (в меню \"Настройка\").\n\nИх можно включить в любой момент, вернув галочку \"Включить "
           "взаимодействие с кодеками\" вверху окна параметров, вызываемого через меню \"Настройка > "
           "Параметры\".\n\nДля возврата в стабильное состояние Torvo сейчас перезапустится.");
}

}  // namespace torvo
