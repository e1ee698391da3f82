#include "codeclist/CodecManagement.h"

#include "base/Text.h"
#include "base/Translate.h"

namespace torvo {
namespace {

constexpr const char* kMeritCaption = N_("ПриоритетКодека");
constexpr const char* kMeritUnavailable = N_("Приоритет кодека недоступен       ");
constexpr const char* kMeritUnchanged = N_("Приоритет не меняется. \r\n");

// The entry's registration as the platform holds it now.
void Reread(IInventoryPlatform& platform, CodecEntry& entry, const InstanceQuery& query) {
    FilterPins fresh{};
    if (FindInstances(platform, query, &fresh) > 0) entry.registration = fresh;
}

InstanceQuery ClsidQuery(const CodecEntry& entry) { return {"CLSID", std::string(entry.clsidText.View())}; }

void MeritChanged(CodecEntry& entry, uint32_t from, uint32_t to, IMessageBox& messages) {
    entry.registration.merit = to;
    entry.registration.meritText.Set(Format("0x%08x", to));
    messages.Show(kMeritCaption, Format(N_("Приоритет успешно изменен с 0x%08x на 0x%08x    \r\n"), from, to),
                  MessageIcon::kInformation);
}

}  // namespace

int RegisterFilterCode(IInventoryPlatform& platform, const CodecEntry& entry, bool unregister) {
    DeleteClassMerit(platform, std::string(entry.clsidText.View()));
    if (entry.path.Empty()) return 1;
    return platform.CallServerRegistration(std::string(entry.path.View()), std::string(entry.clsidText.View()),
                                           unregister);
}

const char* RegisterFilterMessage(int code, bool unregister) {
    switch (code) {
        case 0: return unregister ? N_("Разрегистрация выполнена успешно") : N_("Перерегистрация выполнена.      ");
        case 1: return "Function failed: No path to driver file available.";
        case 2: return "Function failed: Unable to load module.";
        case 3:
            return unregister ? "Function failed: No DllUnregisterServer entry point"
                              : "Function failed: No DllRegisterServer entry point";
        case 4: return unregister ? "Function failed: DllUnregisterServer failed" : "Function failed: DllRegisterServer failed";
        default: return N_("Функция не сработала: ошибка!   ");
    }
}

bool RegisterFilter(IInventoryPlatform& platform, CodecEntry& entry, bool unregister, IMessageBox& messages) {
    const int code = RegisterFilterCode(platform, entry, unregister);
    if (code == 0) Reread(platform, entry, ClsidQuery(entry));
    messages.Show(N_("Восстановление  "), RegisterFilterMessage(code, unregister),
                  code == 0 ? MessageIcon::kInformation : MessageIcon::kWarning);
    return code == 0;
}

bool ChangeMerit(IInventoryPlatform& platform, CodecEntry& entry, IMessageBox& messages, const MeritPrompt& prompt) {
    const std::string clsid(entry.clsidText.View());
    if (entry.kind == kKindDmo) {
        uint32_t current = 0;
        if (!ReadClassMerit(platform, clsid, current)) {
            messages.Show(kMeritCaption, kMeritUnavailable, MessageIcon::kWarning, MessageButtons::kOkCancel);
            return false;
        }
        const auto chosen = prompt(current);
        if (!chosen) return false;
        if (!WriteClassMerit(platform, clsid, *chosen)) {
            messages.Show(kMeritCaption, kMeritUnchanged, MessageIcon::kWarning);
            return false;
        }
        MeritChanged(entry, current, *chosen, messages);
        return true;
    }
    InstanceQuery query = ClsidQuery(entry);
    if (entry.kind == kKindVfw || entry.kind == kKindAcm) {
        const MessageAnswer answer = messages.Show(
            N_("Приоритeт"),
            N_("Учтите: кодеки VFW и ACM не регистрируются (разрегистрируются).\r\nЗапомните действующий приоритет, "
            "чтобы при необходимости его восстановить. "),
            MessageIcon::kWarning, MessageButtons::kOkCancel);
        if (answer != MessageAnswer::kOk) return false;
        if (entry.kind == kKindVfw) query = {"FccHandler", std::string(entry.formatText.View())};
        else query = {"AcmID", "", entry.acmFormatTag.formatTag};
    }
    FilterPins block{};
    if (FindInstances(platform, query, &block) == 0) {
        messages.Show(kMeritCaption, kMeritUnavailable, MessageIcon::kWarning, MessageButtons::kOkCancel);
        return false;
    }
    const auto chosen = prompt(block.merit);
    if (!chosen) return false;
    // Each registration keeps its own pins; the change holds only when every
    // one of them reads back the new merit.
    const bool confirmed =
        WriteInstancesMerit(platform, query, *chosen) > 0 && InstancesHaveMerit(platform, query, *chosen);
    if (!confirmed) {
        messages.Show(kMeritCaption, kMeritUnchanged, MessageIcon::kWarning);
        return false;
    }
    MeritChanged(entry, block.merit, *chosen, messages);
    return true;
}

bool RemoveEntryMediaType(IInventoryPlatform& platform, CodecEntry& entry, const MediaTypeRow& row,
                          const GuidNameLookup& names, IMessageBox& messages) {
    const std::string text = GuidText(row.pair.subtype, names, {});
    const std::string question =
        Format(N_("Здесь удаляется подтип медиа  \r\n%s\r\nfrom the \"acceptability types\" list for codec %s.\r\n\r\n"
               "This will make it much more unlikely for the codec to be selected\r\nwhen attempting to render this "
               "mediatype in the future."),
               text.c_str(), entry.name.c_str());
    if (messages.Show(N_("Удалить медиатип"), question, MessageIcon::kQuestion, MessageButtons::kOkCancel) !=
        MessageAnswer::kOk)
        return false;
    // The type itself, not its place: registrations of one filter may list
    // their pins and types differently.
    const InstanceQuery query = ClsidQuery(entry);
    const bool removed = row.usage != 0 && RemoveTypeFromInstances(platform, query, row.usage == 2, row.pair) > 0;
    if (removed) Reread(platform, entry, query);
    messages.Show(N_("Удалить подтип медиа"), removed ? N_("Подтип медиа удален  ") : N_("Не удалось удалить подтип     "),
                  removed ? MessageIcon::kInformation : MessageIcon::kWarning);
    return removed;
}

void ShowNewMediaTypeMessage(IMessageBox& messages) {
    messages.Show(N_("Функция недоступна    "),
                  N_("Function not available yet in this Torvo Beta version.\nДля восстановления удаленного типа медиа "
                  "используйте\nфункцию перерегистрации кодеков для восстановления умолчаний"),
                  MessageIcon::kInformation);
}

void ShowNoMediaTypesMessage(IMessageBox& messages) {
    messages.Show(N_("Вид/Правка медиатипов "), N_("Медиатипов non-ambiguous нет"), MessageIcon::kInformation);
}

}  // namespace torvo
