#include "controls/Proconst.h"

#include <array>

namespace {

constexpr int BaseCount = 14;      // Ok, Cancel, Help, ..., Finish
constexpr int LanguageCount = 16;  // English, Rus, ..., Kor

// One row per language (in the order of the button kinds' suffixes), one
// column per base kind.
using Row = std::array<const char *, BaseCount>;
const std::array<Row, LanguageCount> Captions = {{
    // English
    {"OK", "Cancel", "&Help", "&Yes", "&No", "&Close", "Abort", "&Retry", "&Ignore", "&All",
     "&Done", "< &Back", "&Next >", "&Finish"},
    // Rus
    {"OK", "Отмена", "&Справка", "&Да", "&Нет", "&Закрыть", "Прервать", "&Повтор",
     "&Пропустить", "&Все", "&Готово", "< &Назад", "&Далее >", "&Завершить"},
    // Ukr
    {"OK", "Скасувати", "&Довідка", "&Так", "&Ні", "&Закрити", "Перервати", "&Повторити",
     "&Пропустити", "&Усі", "&Готово", "< &Назад", "&Далі >", "&Завершити"},
    // Fr
    {"OK", "Annuler", "&Aide", "&Oui", "&Non", "&Fermer", "Abandonner", "&Réessayer",
     "&Ignorer", "&Tous", "&Terminé", "< &Précédent", "&Suivant >", "&Terminer"},
    // Por
    {"OK", "Cancelar", "&Ajuda", "&Sim", "&Não", "&Fechar", "Abortar", "&Repetir", "&Ignorar",
     "&Todos", "&Concluído", "< &Voltar", "&Avançar >", "&Concluir"},
    // Esp
    {"Aceptar", "Cancelar", "&Ayuda", "&Sí", "&No", "&Cerrar", "Abortar", "&Reintentar",
     "&Omitir", "&Todos", "&Hecho", "< &Atrás", "&Siguiente >", "&Finalizar"},
    // Ger
    {"OK", "Abbrechen", "&Hilfe", "&Ja", "&Nein", "&Schließen", "Abbruch", "&Wiederholen",
     "&Ignorieren", "&Alle", "&Fertig", "< &Zurück", "&Vor >", "&Ende"},
    // Dan
    {"OK", "Annuller", "&Hjælp", "&Ja", "&Nej", "&Luk", "Afbryd", "&Forsøg igen", "&Ignorer",
     "&Alle", "&Udført", "< &Tilbage", "&Næste >", "&Afslut"},
    // Ita
    {"OK", "Annulla", "&Guida", "&Sì", "&No", "&Chiudi", "Interrompi", "&Riprova", "&Ignora",
     "&Tutti", "&Fatto", "< &Indietro", "&Avanti >", "&Fine"},
    // Swe
    {"OK", "Avbryt", "&Hjälp", "&Ja", "&Nej", "&Stäng", "Avbryt", "&Försök igen", "&Ignorera",
     "&Alla", "&Klar", "< &Tillbaka", "&Nästa >", "&Slutför"},
    // Dut
    {"OK", "Annuleren", "&Help", "&Ja", "&Nee", "&Sluiten", "Afbreken", "&Opnieuw", "&Negeren",
     "&Alle", "&Gereed", "< &Vorige", "&Volgende >", "&Voltooien"},
    // Pol
    {"OK", "Anuluj", "&Pomoc", "&Tak", "&Nie", "&Zamknij", "Przerwij", "&Ponów", "&Ignoruj",
     "&Wszystkie", "&Gotowe", "< &Wstecz", "&Dalej >", "&Zakończ"},
    // Hun
    {"OK", "Mégse", "&Súgó", "&Igen", "&Nem", "&Bezárás", "Megszakítás", "&Újra", "&Kihagyás",
     "&Mind", "&Kész", "< &Vissza", "&Tovább >", "&Befejezés"},
    // Tur
    {"Tamam", "İptal", "&Yardım", "&Evet", "&Hayır", "&Kapat", "Durdur", "&Yeniden dene",
     "&Yoksay", "&Tümü", "&Bitti", "< &Geri", "&İleri >", "&Son"},
    // Slk
    {"OK", "Zrušiť", "&Pomocník", "&Áno", "&Nie", "&Zavrieť", "Prerušiť", "&Opakovať",
     "&Ignorovať", "&Všetko", "&Hotovo", "< &Späť", "&Ďalej >", "&Dokončiť"},
    // Kor
    {"확인", "취소", "도움말(&H)", "예(&Y)", "아니요(&N)", "닫기(&C)", "중단", "다시 시도(&R)",
     "무시(&I)", "모두(&A)", "완료(&D)", "< 뒤로(&B)", "다음(&N) >", "마침(&F)"},
}};

constexpr int YesBase = 3;
constexpr int SlkLanguage = 14;

} // namespace

std::string ProLoadStr(int ident)
{
    if (ident == SProYesSlk)
        return Captions[SlkLanguage][YesBase];
    const int offset = ident - SProButtonCaptions;
    if (offset < 0 || offset >= 20 * LanguageCount)
        return {};
    const int base = offset % 20;
    const int language = offset / 20;
    if (base >= BaseCount)
        return {};
    // The Slovak "Yes" lives only under its own identifier.
    if (base == YesBase && language == SlkLanguage)
        return {};
    return Captions[language][base];
}
