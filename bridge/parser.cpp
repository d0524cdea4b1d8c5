// CallBrindleParser: executes one command string and writes its reply text.
#include "Brindle.h"
#include "internal.h"

#include <new>
#include <string>

#include "access_rules.h"
#include "command.h"

namespace brindle {
namespace {

void Execute(const Command& command, char* reply) {
    BStr nameSpace(AnsiToBStr(command.nameSpace));
    BStr query(AnsiToBStr(QueryForClass(command.className)));
    BStr property(AnsiToBStr(command.property));
    BStr language(SysAllocString(L"WQL"));
    if (!nameSpace || !query || !property || !language) throw std::bad_alloc();
    const QueryTarget target{query.Get(), nameSpace.Get(), language.Get()};

    // Every position up to the wanted one is enumerated; only the wanted
    // object is read or written.
    const std::uint64_t wanted = static_cast<std::uint64_t>(command.instance);
    char errorText[kTextAreaSize] = {};

    if (command.kind == CommandKind::Read) {
        char value[kTextAreaSize] = {};
        bool ok = VisitObjects(target, wanted + 1, Pass::Read, errorText,
                               [&](std::uint64_t i, IWbemClassObject* object, IWbemServices*, IWbemContext*) {
                                   return i == wanted ? ReadValueText(object, property.Get(), value) : S_OK;
                               });
        CopyToTextArea(ok ? value : errorText, reply);
        return;
    }

    const std::string text = DecimalText(command.value);
    BStr wideText(AnsiToBStr(text));
    if (!wideText) throw std::bad_alloc();
    bool ok = VisitObjects(target, wanted + 1, Pass::Write, errorText,
                           [&](std::uint64_t i, IWbemClassObject* object, IWbemServices* services,
                               IWbemContext* context) {
                               return i == wanted ? WriteValueText(object, property.Get(), wideText.Get(), services,
                                                                   context)
                                                  : S_OK;
                           });
    CopyToTextArea(ok ? text.c_str() : errorText, reply);
}

}  // namespace
}  // namespace brindle

void CBrindle::CallBrindleParser(const char* request, char* reply) {
    // A private bridge object: COM is initialised for this call and
    // uninitialised at its end, whatever the caller did with COM.
    CBrindle session;
    if (!request || !reply) return;
    try {
        brindle::Command command = brindle::ParseCommand(request);
        switch (command.kind) {
            case brindle::CommandKind::NoAction:
                return;  // the reply area keeps what it held
            case brindle::CommandKind::Malformed:
                brindle::CopyToTextArea(brindle::kMalformedReply, reply);
                return;
            case brindle::CommandKind::Read:
            case brindle::CommandKind::Write:
                brindle::Execute(command, reply);
                return;
        }
    } catch (const std::bad_alloc&) {
        brindle::WriteStatusText(WBEM_E_OUT_OF_MEMORY, reply);
    }
}
