// The crash reporter's settings keys, one row each: the key's name, its type,
// how the settings interfaces reach it, the value this program stores in its
// settings resource and the built-in default that answers when a resource
// lacks the key. The interfaces' accessors and the built-in default table are
// made from this one list.
//
// The stored column says what data/crashreport/Duskmarch.zorsettings holds
// (the resource is built from that file); a test reads every key of the
// built resource against it, so the two can't drift apart.
//
// Columns: X(name, type, access, stored, built-in)
//   type:   Bool, Int, Text, Ansi (a text that the interface reads and writes
//           as 8-bit text)
//   access: RW / R   a read and a write / a read on IZXSettings
//           MRW / MR the same on IZXModuleSettings
//           NONE     no plain accessor: an operation of its own reaches it
//   values: ZK_ON, ZK_OFF, ZK_INT(n), ZK_TXT("..."), or ZK_NONE (absent)
#pragma once

#include <cstdint>

enum class TSettingKind : uint8_t { Text = 0, Int = 1, Bool = 2 };

// One value of the key table.
struct TKeyValue {
    bool Present = false;
    bool Bool = false;
    int32_t Int = 0;
    const char* Text = nullptr;
};

#define ZK_ON (TKeyValue{true, true, 0, nullptr})
#define ZK_OFF (TKeyValue{true, false, 0, nullptr})
#define ZK_INT(n) (TKeyValue{true, false, (n), nullptr})
#define ZK_TXT(s) (TKeyValue{true, false, 0, (s)})
#define ZK_NONE (TKeyValue{})

// clang-format off
#define ZOR_SETTINGS_KEYS(X) \
    /* Module switches */ \
    X(Enabled,           Bool, MR,  ZK_ON,  ZK_OFF) \
    X(NoSettings,        Bool, NONE, ZK_OFF, ZK_ON) \
    X(MinDebugInfo,      Text, NONE, ZK_NONE, ZK_NONE) \
    X(CheckFreeze,       Bool, MR,  ZK_OFF, ZK_OFF) \
    X(FreezeTimeout,     Int,  MR,  ZK_INT(60000), ZK_INT(60)) \
    X(WindowsLogo,       Bool, MRW, ZK_OFF, ZK_OFF) \
    X(ReportLeaks,       Bool, MR,  ZK_OFF, ZK_OFF) \
    X(CrashOnBuffer,     Bool, NONE, ZK_OFF, ZK_NONE) \
    X(CrashOnUnderrun,   Bool, NONE, ZK_OFF, ZK_OFF) \
    /* Automatic actions and the exception box */ \
    X(AutoSave,          Bool, RW,  ZK_ON,  ZK_ON) \
    X(AutoSaveIfNotSent, Bool, RW,  ZK_ON,  ZK_ON) \
    X(AutoSend,          Bool, RW,  ZK_OFF, ZK_OFF) \
    X(AutoSendBox,       Bool, RW,  ZK_OFF, ZK_OFF) \
    X(AutoClip,          Bool, RW,  ZK_OFF, ZK_ON) \
    X(PauseThreads,      Bool, RW,  ZK_OFF, ZK_OFF) \
    X(PlWaitBox,         Bool, RW,  ZK_ON,  ZK_ON) \
    X(AutoContinue,      Bool, RW,  ZK_OFF, ZK_OFF) \
    X(AutoRestart,       Int,  RW,  ZK_INT(0), ZK_INT(0)) \
    X(AutoClose,         Int,  RW,  ZK_INT(0), ZK_INT(0)) \
    X(AutoDelay,         Int,  RW,  ZK_NONE, ZK_INT(60)) \
    X(SendBtnVis,        Bool, RW,  ZK_ON,  ZK_ON) \
    X(SaveBtnVis,        Bool, RW,  ZK_OFF, ZK_OFF) \
    X(PrintBtnVis,       Bool, RW,  ZK_OFF, ZK_OFF) \
    X(ShowBtnVis,        Bool, RW,  ZK_ON,  ZK_ON) \
    X(ContinueBtnVis,    Bool, RW,  ZK_ON,  ZK_ON) \
    X(RestartBtnVis,     Bool, RW,  ZK_ON,  ZK_ON) \
    X(CloseBtnVis,       Bool, RW,  ZK_ON,  ZK_ON) \
    X(FocusedBtn,        Int,  RW,  ZK_INT(0), ZK_INT(0)) \
    X(SendAssis,         Text, RW,  ZK_TXT("SendAssistant"), ZK_TXT("")) \
    X(SaveAssis,         Text, RW,  ZK_TXT("SaveAssistant"), ZK_TXT("")) \
    X(PrintAssis,        Text, RW,  ZK_TXT("PrintAssistant"), ZK_TXT("")) \
    X(AutoShowBugRep,    Bool, RW,  ZK_OFF, ZK_OFF) \
    X(UglyBtns,          Bool, RW,  ZK_OFF, ZK_OFF) \
    X(TitleBar,          Text, RW,  ZK_TXT("%appname%"), ZK_TXT("%appname%")) \
    X(ExceptMsg,         Text, RW,  ZK_TXT("An error occurred in the application."), \
                                    ZK_TXT("An error occurred in the application.")) \
    X(FrozenMsg,         Text, RW,  ZK_TXT("The application seems to be frozen."), \
                                    ZK_TXT("The application seems to be frozen.")) \
    X(SendBtnTxt,        Text, RW,  ZK_TXT("send bug report"), ZK_TXT("send bug report")) \
    X(SaveBtnTxt,        Text, RW,  ZK_TXT("save bug report"), ZK_TXT("save bug report")) \
    X(PrintBtnTxt,       Text, RW,  ZK_TXT("print bug report"), ZK_TXT("print bug report")) \
    X(ShowBtnTxt,        Text, RW,  ZK_TXT("show bug report"), ZK_TXT("show bug report")) \
    X(ContinueBtnTxt,    Text, RW,  ZK_TXT("continue application"), ZK_TXT("continue application")) \
    X(RestartBtnTxt,     Text, RW,  ZK_TXT("restart application"), ZK_TXT("restart application")) \
    X(CloseBtnTxt,       Text, RW,  ZK_TXT("close application"), ZK_TXT("close application")) \
    X(OkBtnTxt,          Text, RW,  ZK_TXT("&OK"), ZK_TXT("&OK")) \
    X(DetailsBtnTxt,     Text, RW,  ZK_TXT("&Details"), ZK_TXT("&Details")) \
    X(PlWaitTitle,       Text, RW,  ZK_TXT("Information"), ZK_TXT("Information")) \
    X(PlWaitText,        Text, RW,  ZK_TXT("Please wait a moment..."), ZK_TXT("Please wait a moment...")) \
    /* Delivery */ \
    X(SendInBackgr,      Bool, RW,  ZK_ON,  ZK_ON) \
    X(MailAddr,          Text, RW,  ZK_TXT("bugs@duskmarch.invalid"), ZK_TXT("")) \
    X(MailFrom,          Text, RW,  ZK_NONE, ZK_TXT("")) \
    X(MailViaMapi,       Bool, RW,  ZK_ON,  ZK_ON) \
    X(MailViaMailto,     Bool, RW,  ZK_ON,  ZK_ON) \
    X(MailAsSmtpServer,  Bool, RW,  ZK_OFF, ZK_OFF) \
    X(MailAsSmtpClient,  Bool, RW,  ZK_OFF, ZK_OFF) \
    X(SmtpServer,        Ansi, RW,  ZK_TXT(""), ZK_TXT("")) \
    X(SmtpSsl,           Bool, RW,  ZK_OFF, ZK_OFF) \
    X(SmtpTls,           Bool, RW,  ZK_OFF, ZK_OFF) \
    X(SmtpPort,          Int,  RW,  ZK_INT(25), ZK_INT(0)) \
    X(SmtpAccount,       Text, RW,  ZK_TXT(""), ZK_TXT("")) \
    X(SmtpPassword,      Text, RW,  ZK_TXT(""), ZK_TXT("")) \
    X(UploadViaHttp,     Bool, RW,  ZK_OFF, ZK_OFF) \
    X(HttpServer,        Ansi, RW,  ZK_TXT(""), ZK_TXT("")) \
    X(HttpSsl,           Bool, RW,  ZK_OFF, ZK_OFF) \
    X(HttpPort,          Int,  RW,  ZK_INT(80), ZK_INT(0)) \
    X(HttpAccount,       Text, RW,  ZK_TXT(""), ZK_TXT("")) \
    X(HttpPassword,      Text, RW,  ZK_TXT(""), ZK_TXT("")) \
    X(FogBugz,           Bool, RW,  ZK_OFF, ZK_OFF) \
    X(BugZilla,          Bool, RW,  ZK_OFF, ZK_OFF) \
    X(Mantis,            Bool, RW,  ZK_OFF, ZK_OFF) \
    X(BugTrAccount,      Text, RW,  ZK_TXT(""), ZK_TXT("")) \
    X(BugTrPassword,     Text, RW,  ZK_TXT(""), ZK_TXT("")) \
    X(BugTrProject,      Text, RW,  ZK_TXT(""), ZK_TXT("")) \
    X(BugTrArea,         Text, RW,  ZK_TXT(""), ZK_TXT("")) \
    X(BugTrAssignTo,     Text, RW,  ZK_TXT(""), ZK_TXT("")) \
    X(BugTrTitle,        Text, RW,  ZK_TXT("%appname%, %exceptMsg%"), ZK_TXT("%appname%, %exceptMsg%")) \
    X(BugTrDescr,        Text, RW,  ZK_TXT("error details: \r\n%errorDetails%"), \
                                    ZK_TXT("error details: \r\n%errorDetails%")) \
    X(MailSubj,          Text, RW,  ZK_TXT("bug report"), ZK_TXT("bug report")) \
    X(MailBody,          Text, RW,  ZK_TXT("please find the bug report attached"), \
                                    ZK_TXT("please find the bug report attached")) \
    X(SendBoxTitle,      Text, RW,  ZK_TXT("Sending bug report..."), ZK_TXT("Sending bug report...")) \
    X(PrepAttMsg,        Text, RW,  ZK_TXT("Preparing attachments..."), ZK_TXT("Prepare attachments...")) \
    X(MxLookMsg,         Text, RW,  ZK_TXT("Searching for mail server..."), ZK_TXT("Searching for mail server...")) \
    X(ConnMsg,           Text, RW,  ZK_TXT("Connecting to server..."), ZK_TXT("Connecting to server...")) \
    X(SendMailMsg,       Text, RW,  ZK_TXT("Sending mail..."), ZK_TXT("Sending mail...")) \
    X(FieldMsg,          Text, RW,  ZK_TXT("Setting fields..."), ZK_TXT("Setting fields...")) \
    X(SendAttMsg,        Text, RW,  ZK_TXT("Sending attachments..."), ZK_TXT("Sending attachments...")) \
    X(SendFinalMsg,      Text, RW,  ZK_TXT("Finalizing..."), ZK_TXT("Finalizing...")) \
    X(SendFailMsg,       Text, RW,  ZK_TXT("Sorry, sending the bug report didn't work."), \
                                    ZK_TXT("Sorry, sending the bug report didn't work.")) \
    /* Attachments and the bug report file */ \
    X(AttachBugRep,      Bool, RW,  ZK_ON,  ZK_ON) \
    X(AttachBugRepFile,  Bool, RW,  ZK_ON,  ZK_ON) \
    X(DelBugRepFile,     Bool, RW,  ZK_OFF, ZK_ON) \
    X(BugRepSendAs,      Text, RW,  ZK_TXT("bugreport.txt"), ZK_TXT("bugreport.zbr")) \
    X(BugRepZip,         Text, RW,  ZK_TXT(""), ZK_TXT("")) \
    X(ScrShotDepth,      Int,  RW,  ZK_INT(0), ZK_INT(0)) \
    X(ScrShotAppOnly,    Bool, RW,  ZK_OFF, ZK_ON) \
    X(ScrShotSendAs,     Text, RW,  ZK_TXT("screenshot.png"), ZK_TXT("screenshot.png")) \
    X(ScrShotZip,        Text, RW,  ZK_TXT(""), ZK_TXT("")) \
    X(AddAttachs,        Text, NONE, ZK_TXT("Duskmarch.log>Duskmarch.log>"), ZK_TXT("")) \
    X(AddFields,         Text, NONE, ZK_NONE, ZK_TXT("")) \
    X(BugRepFile,        Text, RW,  ZK_TXT("bugreport.txt"), ZK_TXT("bugreport.zbr")) \
    X(AppendBugReps,     Bool, RW,  ZK_OFF, ZK_ON) \
    X(BugRepFileSize,    Int,  RW,  ZK_INT(300000), ZK_INT(100000)) \
    X(NoDupExcepts,      Bool, RW,  ZK_ON,  ZK_ON) \
    X(NoDupFreezes,      Bool, RW,  ZK_ON,  ZK_ON) \
    X(DupExceptDef,      Int,  RW,  ZK_INT(1), ZK_INT(1)) \
    X(DupFreezeDef,      Int,  RW,  ZK_INT(2), ZK_INT(2)) \
    /* Report content */ \
    X(ListThreads,       Bool, RW,  ZK_ON,  ZK_ON) \
    X(CpuRegs,           Bool, RW,  ZK_OFF, ZK_ON) \
    X(StackDump,         Bool, RW,  ZK_OFF, ZK_ON) \
    X(ShowDisAsm,        Bool, RW,  ZK_ON,  ZK_ON) \
    X(HideUglyItems,     Bool, RW,  ZK_ON,  ZK_OFF) \
    X(ShowRelAddrs,      Bool, RW,  ZK_ON,  ZK_ON) \
    X(ShowRelLines,      Bool, RW,  ZK_ON,  ZK_ON) \
    X(FormatDisAsm,      Bool, RW,  ZK_OFF, ZK_OFF) \
    X(LimitDisAsm,       Int,  RW,  ZK_INT(50), ZK_INT(5)) \
    X(Plugins,           Text, NONE, ZK_TXT(""), ZK_TXT("modules|processes|hardware")) \
    X(VersionVar,        Int,  NONE, ZK_NONE, ZK_INT(0)) \
    /* Exception filters: F1, F2 and the general one */ \
    X(F1Classes,         Text, MRW, ZK_TXT("EDBEditError"), ZK_TXT("")) \
    X(F2Classes,         Text, MRW, ZK_TXT(""), ZK_TXT("")) \
    X(F1NoBugRep,        Bool, MRW, ZK_ON,  ZK_OFF) \
    X(F2NoBugRep,        Bool, MRW, ZK_OFF, ZK_OFF) \
    X(GnNoBugRep,        Bool, MRW, ZK_OFF, ZK_OFF) \
    X(F1NoScrShot,       Bool, MRW, ZK_ON,  ZK_OFF) \
    X(F2NoScrShot,       Bool, MRW, ZK_OFF, ZK_OFF) \
    X(GnNoScrShot,       Bool, MRW, ZK_OFF, ZK_OFF) \
    X(F1NoSuspend,       Bool, MRW, ZK_ON,  ZK_OFF) \
    X(F2NoSuspend,       Bool, MRW, ZK_OFF, ZK_OFF) \
    X(GnNoSuspend,       Bool, MRW, ZK_OFF, ZK_OFF) \
    X(F1NoHandlers,      Bool, MRW, ZK_ON,  ZK_OFF) \
    X(F2NoHandlers,      Bool, MRW, ZK_OFF, ZK_OFF) \
    X(GnNoHandlers,      Bool, MRW, ZK_OFF, ZK_OFF) \
    X(F1ShowCfg,         Int,  MRW, ZK_INT(3), ZK_INT(0)) \
    X(F2ShowCfg,         Int,  MRW, ZK_INT(0), ZK_INT(0)) \
    X(GnShowCfg,         Int,  MRW, ZK_INT(0), ZK_INT(0)) \
    X(F1Assis,           Text, MRW, ZK_TXT(""), ZK_TXT("")) \
    X(F2Assis,           Text, MRW, ZK_TXT(""), ZK_TXT("")) \
    X(GnAssis,           Text, MRW, ZK_TXT(""), ZK_TXT("")) \
    /* Assistants: "name|title|form|form...", numbered from 1 without gaps */ \
    X(Assistant1,        Text, NONE, ZK_TXT("SendAssistant|Send Assistant|ContactForm|DetailsForm|ScrShotForm"), ZK_NONE) \
    X(Assistant2,        Text, NONE, ZK_TXT("SaveAssistant|Save Assistant|ContactForm|DetailsForm"), ZK_NONE) \
    X(Assistant3,        Text, NONE, ZK_TXT("PrintAssistant|Print Assistant|ContactForm|DetailsForm"), ZK_NONE)
// clang-format on

// The kind a key's type is stored as.
constexpr TSettingKind KindOfKeyType(char type)
{
    return type == 'B' ? TSettingKind::Bool : type == 'I' ? TSettingKind::Int : TSettingKind::Text;
}

struct TSettingKeyInfo {
    const char* Name;
    TSettingKind Kind;
    TKeyValue Stored;
    TKeyValue BuiltIn;
};

// Every key of the list, in its order.
inline constexpr TSettingKeyInfo SettingKeys[] = {
#define ZOR_KEY_INFO(name, type, access, stored, builtIn) {#name, KindOfKeyType(#type[0]), stored, builtIn},
    ZOR_SETTINGS_KEYS(ZOR_KEY_INFO)
#undef ZOR_KEY_INFO
};
