// Every text the program says to its user, in Italian (the default, as the
// program has always printed it) and in English, side by side.
//
// A row is {Italian, English}. Code names a row by its Italian text with the
// suffix _it (core/messages.hpp), and a text missing here does not compile.
// {1} ... {9} stand for the values a message carries; the English places
// them where its sentence needs them. Labels padded to align their values
// keep the same width in English. Code names (it, dt, stab_lim, x0_ff_2, ...)
// stay as they are; lines that hold nothing else are written as they are and
// are not here. File contents (headers, post_dati.dat, file names) are data
// and never translated.
//
// A new message: a row here, in the group of its room, and the _it text where
// it is printed. The test MessageCatalog checks every row and fails on an
// Italian text in src/ outside this table.
#pragma once

#include <string_view>

namespace fiamma {

struct MessageEntry {
  std::string_view it, en;
};

inline constexpr MessageEntry kMessageTable[] = {
    // ---- core: errors and the file writer
    {"interrotto da un segnale", "interrupted by a signal"},
    {"{1}: impossibile scrivere il file ({2}); {3}", "{1}: cannot write the file ({2}); {3}"},
    {"il percorso viene da path_prefix_1 e path_prefix_2 (record 2 e 3 di eulero_test.dat)",
     "the path comes from path_prefix_1 and path_prefix_2 (records 2 and 3 of eulero_test.dat)"},
    {"il file sta nella cartella di lavoro", "the file is in the working directory"},
    {"non è un file regolare", "not a regular file"},

    // ---- config: the free-format reader
    {"un numero intero", "an integer"},
    {"un numero reale", "a real number"},
    {"un testo", "a text"},
    {"{1}: file non trovato ({2})", "{1}: file not found ({2})"},
    {"{1}: impossibile aprire il file ({2}): {3}", "{1}: cannot open the file ({2}): {3}"},
    {"{1}: non è un file regolare ({2})", "{1}: not a regular file ({2})"},
    {"{1}: errore di lettura ({2}): {3}", "{1}: read error ({2}): {3}"},
    {"{1}: il file supera {2} MiB, ben oltre ogni dato valido ({3})",
     "{1}: the file exceeds {2} MiB, far beyond any valid input ({3})"},
    {"{1}: record {2} ({3}), riga {4}: {5}", "{1}: record {2} ({3}), line {4}: {5}"},
    {"{1}: il file termina prima della fine del record {2} ({3})",
     "{1}: the file ends before the end of record {2} ({3})"},
    {"valore ripetuto: {1} dove è atteso {2}, trovato \"{3}\"",
     "repeated value: {1} where {2} is expected, found \"{3}\""},
    {"fattore di ripetizione nullo in \"{1}*\"", "zero repeat count in \"{1}*\""},
    {"fattore di ripetizione troppo grande \"{1}*\" (al massimo {2})", "repeat count too large \"{1}*\" (at most {2})"},
    {"atteso {1}, trovato \"{2}\"", "expected {1}, found \"{2}\""},
    {"testo tra virgolette seguito da \"{1}\" invece che da un separatore",
     "quoted text followed by \"{1}\" instead of a separator"},
    {"intero fuori dall'intervallo a 32 bit: \"{1}\"", "integer outside the 32-bit range: \"{1}\""},

    // ---- config: the configuration, --set, the ranges
    {"record {1} ({2}): il testo di {3} caratteri è stato troncato a {4}: {5}",
     "record {1} ({2}): the text of {3} characters was cut to {4}: {5}"},
    {"{1}: nessun record della configurazione si chiama \"{2}\" (i nomi sono quelli di --print-config)",
     "{1}: no record of the configuration is called \"{2}\" (the names are those of --print-config)"},
    {"{1}: manca il valore", "{1}: the value is missing"},
    {"{1}: il valore va su una sola riga", "{1}: the value must fit on one line"},
    {"{1}: un fattore di ripetizione non ha senso per un solo valore",
     "{1}: a repeat count makes no sense for a single value"},
    {"{1}: il testo ha {2} caratteri, il record {3} ({4}) ne tiene {5}",
     "{1}: the text has {2} characters, record {3} ({4}) holds {5}"},
    {"{1}: un solo valore per record", "{1}: one value per record"},
    {"deve essere compreso tra {1} e {2}", "must lie between {1} and {2}"},
    {"deve essere almeno 1", "must be at least 1"},
    {"la lunghezza 0 (scelta automatica) vale solo per case_kind 8, qui case_kind = {1}",
     "the length 0 (chosen automatically) holds only for case_kind 8, here case_kind = {1}"},
    {"deve essere compreso tra 1 e 26 con sweep_mode = 1 (ogni passo marca i suoi file con una lettera da A a Z)",
     "must lie between 1 and 26 with sweep_mode = 1 (each step marks its files with a letter from A to Z)"},
    {"deve essere compreso tra 1 e 10 con sweep_mode = 1", "must lie between 1 and 10 with sweep_mode = 1"},
    {"deve essere compreso tra 1 e 4 per la fiamma (case_kind 8)",
     "must lie between 1 and 4 for the flame (case_kind 8)"},
    {"deve essere 0 (uniforme) o 1 (da grid.dat)", "must be 0 (uniform) or 1 (from grid.dat)"},
    {"deve essere al massimo {1} (il contatore delle iterazioni è un intero a 32 bit)",
     "must be at most {1} (the iteration counter is a 32-bit integer)"},
    {"deve essere al massimo {1} (dopo l'ultima iterazione il contatore vale it_end + 1, un intero a 32 bit)",
     "must be at most {1} (after the last iteration the counter is it_end + 1, a 32-bit integer)"},
    {"deve essere maggiore di 1 (il numero di Zeldovich e il Prandtl dei casi analitici dividono per gamma - 1)",
     "must be greater than 1 (the Zeldovich number and the Prandtl number of the analytic cases divide by gamma - 1)"},
    {"deve essere positivo (la diffusione divide per Lewis)", "must be positive (the diffusion divides by Lewis)"},
    {"deve essere positivo con dt_mode = 1", "must be positive with dt_mode = 1"},
    {"deve essere positivo con dt_mode = 0 (passo fisso)", "must be positive with dt_mode = 0 (fixed step)"},
    {"deve essere un numero finito", "must be a finite number"},
    {"deve essere positivo (la viscosità è Prandtl volte la conduttività)",
     "must be positive (the viscosity is Prandtl times the conductivity)"},
    {"deve essere positivo per la fiamma (il fattore di frequenza della reazione)",
     "must be positive for the flame (the frequency factor of the reaction)"},
    {"deve essere positivo per la fiamma (la temperatura di attivazione)",
     "must be positive for the flame (the activation temperature)"},
    {"deve essere positivo per la fiamma (il rapporto di equivalenza)",
     "must be positive for the flame (the equivalence ratio)"},
    {"deve essere positiva per la fiamma (una temperatura)", "must be positive for the flame (a temperature)"},
    {"deve essere compresa tra 0 (escluso) e 1 per la fiamma (una frazione massica; senza combustibile non c'è fiamma)",
     "must lie between 0 (excluded) and 1 for the flame (a mass fraction; without fuel there is no flame)"},
    {"deve essere una lettera o una cifra (A-Z, a-z, 0-9): è il primo carattere del nome di ogni file di uscita",
     "must be a letter or a digit (A-Z, a-z, 0-9): it is the first character of the name of every output file"},
    {"deve essere positiva (0: scelta automatica per la fiamma)",
     "must be positive (0: chosen automatically for the flame)"},
    {"deve essere positivo (0: 0.625 n spessori)", "must be positive (0: 0.625 n thicknesses)"},
    {"deve essere almeno 0", "must be at least 0"},
    {"deve essere almeno it_start = {1} (uguale: nessuna iterazione)",
     "must be at least it_start = {1} (equal: no iteration)"},
    {"deve essere 1 (tridiagonali) o 2 (pentadiagonali)", "must be 1 (tridiagonal) or 2 (pentadiagonal)"},
    {"deve essere compreso tra 0 e 4 (la chiusura compatta al bordo; i suoi pesi dividono per 5 - il valore)",
     "must lie between 0 and 4 (the compact closure at the boundary; its weights divide by 5 - the value)"},
    {"deve essere compreso tra 0 e 0.55 (lo schema compatto interno; oltre 7/12 il suo sistema non è più definito positivo e già vicino a 0.58 la velocità di combustione si sposta del 3 %)",
     "must lie between 0 and 0.55 (the interior compact scheme; beyond 7/12 its system is no longer positive definite and already near 0.58 the burning rate moves by 3 %)"},
    {"deve essere 0 (passo fisso) o 1 (passo dai limiti)", "must be 0 (fixed step) or 1 (step from the limits)"},
    {"non deve essere negativo (con dt_mode = 1 fissa solo il tempo iniziale it_start*dt)",
     "must not be negative (with dt_mode = 1 it sets only the initial time it_start*dt)"},
    {"deve essere 1 o 2", "must be 1 or 2"},
    {"deve essere positivo (le grandezze di riferimento dividono per esso)",
     "must be positive (the reference quantities divide by it)"},
    {"deve essere compresa tra 0 e 1 (una frazione massica)", "must lie between 0 and 1 (a mass fraction)"},
    {"non deve essere negativo (l'ordine di reazione della stima analitica)",
     "must not be negative (the reaction order of the analytic estimate)"},
    {"deve essere compreso tra 0 e 1 (una frazione del dominio)",
     "must lie between 0 and 1 (a fraction of the domain)"},
    {"deve essere compreso tra 0 (escluso) e 1 (una frazione del dominio)",
     "must lie between 0 (excluded) and 1 (a fraction of the domain)"},
    {"deve stare dentro il dominio (0: si usa x_anchor_fraction)",
     "must lie inside the domain (0: x_anchor_fraction is used)"},
    {"deve essere compreso tra 0 e 1, esclusi (il punto di ancoraggio dentro il dominio)",
     "must lie between 0 and 1, both excluded (the anchor point inside the domain)"},
    {"non deve essere negativo (follow_mode = 15)", "must not be negative (follow_mode = 15)"},
    {"deve essere 0 (una simulazione) o 1 (andamento)", "must be 0 (one simulation) or 1 (sweep)"},
    {"con sweep_end = {1} e sweep_count = {2} il passo {3} dà al record {4} il valore {5}, che {6}",
     "with sweep_end = {1} and sweep_count = {2} step {3} gives record {4} the value {5}, which {6}"},
    {"--sweep-step {1}: la configurazione non prevede un andamento (record 74, sweep_mode = {2}; un andamento ha "
     "sweep_mode = 1)",
     "--sweep-step {1}: the configuration holds no sweep (record 74, sweep_mode = {2}; a sweep has sweep_mode = 1)"},
    {"--sweep-step {1}: il passo deve essere compreso tra 1 e {2} (record 78, sweep_count)",
     "--sweep-step {1}: the step must lie between 1 and {2} (record 78, sweep_count)"},
    {"attenzione: ", "warning: "},
    {"{1}: valori non ammessi", "{1}: values not allowed"},
    {"il file inizia con il segno BOM UTF-8 (byte EF BB BF), ignorato",
     "the file begins with the UTF-8 byte-order mark (bytes EF BB BF), skipped"},
    {"{1}: una barra senza virgolette chiude il record prima del testo, che resta {2}: un percorso va scritto tra apici, per esempio '/tmp/uscita/'",
     "{1}: an unquoted slash ends the record before the text, which stays {2}: write a path between quotes, for example '/tmp/output/'"},
    {"{1}: il testo senza virgolette {2} finisce alla barra, che chiude il record: per una cartella scrivere {3} tra apici",
     "{1}: the unquoted text {2} ends at the slash, which ends the record: for a folder write {3} between quotes"},
    {"{1} = {2}: dopo il numero segue \"{3}\", una virgola decimale? La virgola separa due valori; i decimali si scrivono con il punto (0.75)",
     "{1} = {2}: the number is followed by \"{3}\", a decimal comma? A comma separates two values; decimals are written with a point (0.75)"},
    {"Inizio a seguire:  ", "Following from:  "},
    {"x0_ff_2 prima", "x0_ff_2 before"},

    // ---- config: the grid, the analytic profile, the swept parameters
    {"Lettura file di griglia grid.dat", "Reading grid file grid.dat"},
    {"prima colonna", "first column"},
    {"ascissa", "abscissa"},
    {"{1}: record {2} (ascissa): le ascisse devono crescere, trovato {3} dopo {4}",
     "{1}: record {2} (abscissa): the abscissae must increase, found {3} after {4}"},
    {"case_kind {1} richiede il profilo della soluzione analitica nel file {2}: record 1 ff_width ff_centre "
     "ff_amplitude, record 2 ff_lo ff_hi{3}",
     "case_kind {1} needs the profile of the analytic solution in the file {2}: record 1 ff_width ff_centre "
     "ff_amplitude, record 2 ff_lo ff_hi{3}"},
    {"{1} (il file non esiste)", "{1} (the file does not exist)"},
    {"record 1 ff_width: deve essere un numero finito diverso da 0",
     "record 1 ff_width: must be a finite number other than 0"},
    {"record {1} {2}: manca", "record {1} {2}: missing"},
    {"record 2 ff_lo ff_hi: servono due estremi con ff_lo <= ff_hi",
     "record 2 ff_lo ff_hi: two bounds with ff_lo <= ff_hi are needed"},
    {"record 4 {1}: deve essere positiva", "record 4 {1}: must be positive"},
    {"{1}: valori non utilizzabili", "{1}: unusable values"},
    {"ANDAMENTI. GAMMAG: ", "SWEEP. GAMMA: "},
    {"ANDAMENTI. PRANDTL: ", "SWEEP. PRANDTL: "},
    {"ANDAMENTI. LEWIS: ", "SWEEP. LEWIS: "},
    {"ANDAMENTI. DAMKOHLER: ", "SWEEP. DAMKOHLER: "},
    {"ANDAMENTI. ZELDOVICH: ", "SWEEP. ZELDOVICH: "},
    {"ANDAMENTI. MACH: ", "SWEEP. MACH: "},
    {"ANDAMENTI. N_EXPO: ", "SWEEP. N_EXP: "},
    {"ANDAMENTI. PHI_ER: ", "SWEEP. PHI_ER: "},
    {"ANDAMENTI. TEMP. MISCELA FREDDA: ", "SWEEP. FRESH MIXTURE TEMP.: "},
    {"ANDAMENTI. FRAZIONE MASSICA MISCELA FREDDA: ", "SWEEP. FRESH MIXTURE MASS FRACTION: "},

    // ---- operators
    {"operatori non disponibili", "operators not available"},
    {"Derivate compatte pentadiagonali", "Pentadiagonal compact derivatives"},
    {"per griglie non uniformi da implementare", "for non-uniform grids still to be implemented"},
    {"Per ora disponibili solo tridiagonali (i_thom=1)", "For now only tridiagonal ones are available (i_thom=1)"},
    {"PROGRAMMA INTERROTTO", "PROGRAM STOPPED"},
    {"Operatori compatti con i_thom diverso da 2: mancano gli operatori sui punti",
     "Compact operators with i_thom other than 2: the operators on the staggered"},
    {"sfalsati e l'operatore di pressione, necessari alla simulazione.",
     "points and the pressure operator, which the simulation needs, are missing."},
    {"Usare i_thom=2 su griglia uniforme (grid=0)", "Use i_thom=2 on a uniform grid (grid=0)"},
    {"Pentadiag ha fallito", "Pentadiag failed"},
    {"entro nel ciclo strano, ma non dovrei mai avernee bisogno", "entering the odd loop, which should never be needed"},
    {"perche ho fatto in modo da non avere mai la b(i)=0", "since it was arranged never to have b(i)=0"},
    {"e contemporaneamente a(i+1)=0", "and at the same time a(i+1)=0"},

    // ---- solver
    {"R_K_coe: schema Runge-Kutta di ordine ", "R_K_coe: Runge-Kutta scheme of order "},
    {"coefficienti:", "coefficients:"},
    {"DUE SPECIE LOW MACH DA IMPLEMENTARE", "TWO-SPECIES LOW MACH STILL TO BE IMPLEMENTED"},
    {"modello a due specie non disponibile", "two-species model not available"},
    {"Convergenza iterazione Low Mach non raggiunta", "Low Mach iteration convergence not reached"},
    {"Errore iterativo pari a: ", "Iterative error: "},
    {"Codice interrotto", "Code stopped"},
    {"correzione della velocita' non convergente", "velocity correction not converging"},
    {"convettivo", "convective"},
    {"diffusivo ", "diffusive "},
    {"limite di stabilità oltrepassato. Continuare?", "stability limit exceeded. Continue?"},
    {"per continuare premere invio", "press enter to continue"},

    // ---- initial: the restart snapshot
    {"record 70 (restart_name_1): nome del file di ripartenza vuoto", "record 70 (restart_name_1): empty restart file name"},
    {"file di ripartenza", "restart file"},
    {"{1}: file di ripartenza mancante o illeggibile ({2}): {3}", "{1}: restart file missing or unreadable ({2}): {3}"},
    {"restart_name_1..3, record 70-72", "restart_name_1..3, records 70-72"},
    {"{1}: record 2: l'istantanea ha {2} punti (ZONE I), la configurazione n = {3}",
     "{1}: record 2: the snapshot has {2} points (ZONE I), the configuration n = {3}"},
    {"{1}: l'istantanea ha {2} record di dati dopo le due righe di testata, ne servono n = {3} (uno per nodo)",
     "{1}: the snapshot has {2} data records after the two header lines, n = {3} are needed (one per node)"},
    {"{1}: record {2} (nodo {3}): densita' e temperatura devono essere positive e finite, trovate rho = {4}, th = {5}",
     "{1}: record {2} (node {3}): density and temperature must be positive and finite, found rho = {4}, th = {5}"},
    {"{1}: record {2} (nodo {3}): {4} = {5}, ogni valore deve essere finito",
     "{1}: record {2} (node {3}): {4} = {5}, every value must be finite"},

    // ---- diagnostics: the analytic estimate, the front history, the analytic solutions
    {"th_bru analitica: ", "analytic th_bru: "},
    {"1. Portata analitica del fronte pari a: ", "1. Analytic burning rate of the front: "},
    {"Portata analitica del fronte pari a: ", "Analytic burning rate of the front: "},
    {"Velocita analitica del fronte", "Analytic front speed"},
    {"(valutata dentro quindi rho_sx e non rho_ST(1)) pari a: ", "(evaluated inside, so rho_sx and not rho_ST(1)): "},
    {"Spessore analitico del fronte pari a: ", "Analytic front thickness: "},
    {"file di fiamma output:  ", "flame output file:  "},
    {"Convergenza non raggiunta in ", "Convergence not reached in "},
    {" iterazioni", " iterations"},
    {"Convergenza non raggiunta:", "Convergence not reached:"},

    // ---- output: the parameter report
    {"SIMULAZIONE DELLA COMBUSTIONE H2-O2", "SIMULATION OF H2-O2 COMBUSTION"},
    {"Rapporto di equivalenza:", "Equivalence ratio:"},
    {"Pressione iniziale:", "Initial pressure:"},
    {"GRANDEZZE DI RIFERIMENTO", "REFERENCE QUANTITIES"},
    {"Adimensionali:", "Dimensionless:"},
    {"Dimensionali:", "Dimensional:"},
    {"Entalpia reazione:                   ", "Heat of reaction:                    "},
    {"Calore specifico a v=cost.:          ", "Specific heat at v=const.:           "},
    {"Coefficiente di conduzione:          ", "Conduction coefficient:              "},
    {"Portata massica flusso:              ", "Mass flow rate:                      "},
    {"Energia :                            ", "Energy :                             "},
    {"Lunghezza :                          ", "Length :                             "},
    {"Temperatura :                        ", "Temperature :                        "},
    {"Costante del  gas R:                 ", "Gas constant R:                      "},
    {"Velocita':                          ", "Velocity:                            "},
    {"Densita':                           ", "Density:                             "},
    {"Pressione:                           ", "Pressure:                            "},
    {"Tempo:                               ", "Time:                                "},
    {"Costante di Arrenhius:               ", "Arrhenius constant:                  "},
    {"Energia di attivazione :             ", "Activation energy :                  "},
    {"Viscosita' dinamica :               ", "Dynamic viscosity :                  "},
    {"Coefficiente di diffusione(rho D) :  ", "Diffusion coefficient(rho D) :       "},
    {"Valori adimensionali di grandezze di rilievo", "Dimensionless values of relevant quantities"},

    // ---- driver: the console report of a simulation
    {"Setto hlx come", "Setting hlx to"},
    {"volte lo spessore", "times the predicted"},
    {"previsto della fiamma:     ", "flame thickness:           "},
    {"Punto di stabilizzazione:  ", "Stabilisation point:       "},
    {"Fiamma ancorata a:  ", "Flame anchored at:  "},
    {"Velocita analitica del fronte: ", "Analytic front speed: "},
    {"velocità fronte  = ", "front speed      = "},
    {"spessore fronte  = ", "front thickness  = "},
    {"ascissa del fronte = ", "front position = "},
    {"varianza di stabilizzazione = ", "stabilisation variance = "},
    {"Velocità di soffiaggio per avere fiamma ferma :", "Blowing velocity for a still flame :"},
    {"varianza: ", "variance: "},

    // ---- driver: a field no longer finite, signals, the resume index
    {"Campo non più finito: ", "Field no longer finite: "},
    {"rho (densità)", "rho (density)"},
    {"rho*y1 (combustibile)", "rho*y1 (fuel)"},
    {"rho*y2 (ossidante)", "rho*y2 (oxidizer)"},
    {"rho*v (quantità di moto)", "rho*v (momentum)"},
    {"P (pressione termodinamica)", "P (thermodynamic pressure)"},
    {"punto", "point"},
    {"nodo", "node"},
    {"iterazione it = ", "iteration it = "},
    {"valore: ", "value: "},
    {"Stato scritto in ", "State written to "},
    {"campo {1} non finito ({2} {3}, iterazione {4}); stato in {5}",
     "field {1} not finite ({2} {3}, iteration {4}); state in {5}"},
    {"campo {1} non finito (iterazione {2}); stato in {3}",
     "field {1} not finite (iteration {2}); state in {3}"},
    {"x_m (ascissa del fronte)", "x_m (front position)"},
    {"s (velocità del fronte)", "s (front speed)"},
    {"del (spessore del fronte)", "del (front thickness)"},
    {"w_in (velocità di ingresso)", "w_in (inflow velocity)"},
    {"s_cons (velocità di consumo)", "s_cons (consumption speed)"},
    {"var (varianza di stabilizzazione)", "var (stabilisation variance)"},
    {"{1}: impossibile scrivere ({2}); la console va in un file, una pipe o un dispositivo che non la riceve",
     "{1}: cannot write ({2}); the console goes to a file, a pipe or a device that does not take it"},
    {"un segnale", "a signal"},
    {"interrotto da {1}", "interrupted by {1}"},
    {" dopo l'iterazione {1}", " after iteration {1}"},
    {" tra due passi dell'andamento", " between two sweep steps"},
    {" (passo {1} di {2} dell'andamento); per continuare rilanciare nella stessa cartella (l'andamento riprende dal passo {3} scritto in {4}): {5}",
     " (sweep step {1} of {2}); to go on, start again in the same folder (the sweep resumes from step {3} written in {4}): {5}"},
    {"; per continuare dall'ultima istantanea {1}, nella stessa cartella: {2}",
     "; to go on from the last snapshot {1}, in the same folder: {2}"},
    {"; nessuna istantanea scritta: rilanciare da capo", "; no snapshot written: start again from the beginning"},
    {"interrotto da {1} quando la simulazione era ormai finita: i suoi file sono completi",
     "interrupted by {1} when the simulation had already finished: its files are complete"},
    {"interrotto da {1} mentre chiudeva: la simulazione era finita e i suoi file sono completi",
     "interrupted by {1} while closing: the simulation had finished and its files are complete"},
    {"indice di ripresa", "resume index"},
    {"{1}: indice di ripresa {2}: deve essere almeno 1 (cancellare il file per ripartire dal primo passo)",
     "{1}: resume index {2}: must be at least 1 (delete the file to start again from the first step)"},
    {"{1} indica il passo {2} oltre l'ultimo ({3}): nessuna simulazione eseguita; cancellare il file per ripartire "
     "dal primo passo",
     "{1} names step {2}, past the last one ({3}): no simulation run; delete the file to start again from the first "
     "step"},

    // ---- driver: standard error after a simulation
    {"correzioni di velocita': {1}, iterazioni per correzione: media {2}, massimo {3} (tolleranza {4}{5})",
     "velocity corrections: {1}, iterations per correction: mean {2}, maximum {3} (tolerance {4}{5})"},
    {" relativa", " relative"},
    {" assoluta", " absolute"},
    {"dominio: lunghezza termica 1/M {1}, del combustibile 1/(Le M) {2}; dall'ingresso{3} all'ancoraggio {4} e {5}",
     "domain: thermal length 1/M {1}, fuel length 1/(Le M) {2}; from the inflow{3} to the anchor {4} and {5}"},
    {" al fronte iniziale {1} e {2},", " to the initial front {1} and {2},"},
    {"l'ancoraggio dista dall'ingresso meno di {1} lunghezze: l'ingresso taglia la coda della fiamma e ne altera "
     "la velocita' di combustione (allungare il dominio o spostare l'ancoraggio)",
     "the anchor lies less than {1} lengths from the inflow: the inflow cuts the tail of the flame and alters its "
     "burning rate (lengthen the domain or move the anchor)"},
    {"conservazione: temperatura combusta {1} relativa all'adiabatica, salto del flusso di massa {2}, consumo "
     "contro ingresso {3}, deriva per tempo di fiamma {4}{5}",
     "conservation: burnt temperature {1} relative to the adiabatic one, mass flux jump {2}, consumption against "
     "inflow {3}, drift per flame time {4}{5}"},
    {" (assestata)", " (settled)"},
    {" (non assestata)", " (not settled)"},
    {"velocita' di combustione: {1}, rispetto alla stima analitica {2} relativa, {3} entro {4} "
     "(distanza stimata {5}){6}",
     "burning rate: {1}, against the analytic estimate {2} relative, {3} to {4} (estimated distance {5}){6}"},
    {"assestata", "settled"},
    {"non assestata", "not settled"},
    {"non disponibile", "not available"},
    {": raggiunto il limite it_end = {1}", ": reached the cap it_end = {1}"},
    {"1 simulazione non assestata entro {1} al limite it_end ({2}): allungare it_end o ripartire dall'ultima "
     "istantanea",
     "1 simulation not settled to {1} at the cap it_end ({2}): lengthen it_end or restart from the last snapshot"},
    {"{1} simulazioni non assestate entro {2} al limite it_end ({3}): allungare it_end o ripartire dall'ultima "
     "istantanea",
     "{1} simulations not settled to {2} at the cap it_end ({3}): lengthen it_end or restart from the last snapshot"},
    {"{1}: il gas fresco dell'istantanea non e' quello della configurazione; si parte dal profilo iniziale",
     "{1}: the fresh gas of the snapshot is not that of the configuration; starting from the initial profile"},
    {"andamento", "sweep"},
    {"mancano", "remaining"},
    {"durata", "took"},

    // ---- driver: --check-config
    {"caso analitico {1} (onda semplice, soluzione di riferimento a ogni uscita)",
     "analytic case {1} (simple wave, reference solution at every output)"},
    {"caso analitico 5 (seconda soluzione di riferimento a ogni uscita)",
     "analytic case 5 (second reference solution at every output)"},
    {"caso {1} con grandezze di riferimento unitarie e gamma 1.4", "case {1} with unit reference quantities and gamma 1.4"},
    {"fiamma premiscelata (profilo iniziale, inseguimento del fronte, ancoraggio)",
     "premixed flame (initial profile, front tracking, anchoring)"},
    {"campo di prova come stato iniziale", "test field as the initial state"},
    {"caso {1} con grandezze di riferimento unitarie", "case {1} with unit reference quantities"},
    {"caso {1} senza stato iniziale proprio", "case {1} without an initial state of its own"},
    {"record 6 (domain_length) = 0: la lunghezza scelta, hlx = {1} volte lo spessore della stima analitica ({2}), "
     "sarebbe {3}: Damkohler, Zeldovich, Lewis, th_fresh e y1_fresh devono dare uno spessore positivo e finito, "
     "altrimenti serve una lunghezza fissa",
     "record 6 (domain_length) = 0: the chosen length, hlx = {1} times the thickness of the analytic estimate ({2}), "
     "would be {3}: Damkohler, Zeldovich, Lewis, th_fresh and y1_fresh must give a positive, finite thickness, "
     "otherwise a fixed length is needed"},
    {"la cartella di lavoro {1} non è scrivibile (post_dati.dat, i_and_min.dat, fort.*)",
     "the working directory {1} is not writable (post_dati.dat, i_and_min.dat, fort.*)"},
    {"la cartella dei file di uscita {1} (da path_prefix_1 e path_prefix_2 (record 2 e 3)) non esiste: il primo "
     "file di uscita fermerebbe la simulazione",
     "the output folder {1} (from path_prefix_1 and path_prefix_2 (records 2 and 3)) does not exist: the first "
     "output file would stop the simulation"},
    {"la cartella dei file di uscita {1} (da path_prefix_1 e path_prefix_2 (record 2 e 3)) non è scrivibile",
     "the output folder {1} (from path_prefix_1 and path_prefix_2 (records 2 and 3)) is not writable"},
    {"{1} indica il passo {2} oltre l'ultimo ({3}): la simulazione non eseguirà nessun passo; cancellare il file "
     "per ripartire dal primo passo",
     "{1} names step {2}, past the last one ({3}): the simulation will run no step; delete the file to start again "
     "from the first step"},
    {"{1} indica il passo {2}: la simulazione riprenderà da quel passo, non dal primo (cancellare il file per "
     "ripartire dal primo)",
     "{1} names step {2}: the simulation will resume from that step, not from the first (delete the file to start "
     "again from the first)"},
    {"{1} file di una simulazione precedente con la stessa marca saranno sostituiti ({2})",
     "{1} files of an earlier simulation with the same tag will be replaced ({2})"},
    {"{1} file di una simulazione precedente con la stessa marca resteranno accanto ai nuovi ({2})",
     "{1} files of an earlier simulation with the same tag will stay beside the new ones ({2})"},
    {"storia del fronte di una simulazione precedente: {1} sarà sostituita",
     "front history of an earlier simulation: {1} will be replaced"},
    {"storia del fronte di una simulazione precedente: {1} riceverà un nuovo blocco in coda",
     "front history of an earlier simulation: {1} will receive a new block at its end"},
    {"la tabella dell'andamento {1} esiste: riceverà un nuovo blocco in coda",
     "the sweep table {1} exists: it will receive a new block at its end"},
    {"Distanze dall'ingresso (lunghezza termica 1/M = {1}, del combustibile 1/(Le M) = {2} della stima analitica): ",
     "Distances from the inflow (thermal length 1/M = {1}, fuel length 1/(Le M) = {2} of the analytic estimate): "},
    {"fronte iniziale {1} e {2}, ", "initial front {1} and {2}, "},
    {"ancoraggio {1} e {2} lunghezze.", "anchor {1} and {2} lengths."},
    {"Attenzione: l'ancoraggio dista dall'ingresso meno di {1} lunghezze; l'ingresso taglia la coda della fiamma e "
     "ne altera la velocita' di combustione (allungare il dominio o spostare l'ancoraggio).",
     "Warning: the anchor lies less than {1} lengths from the inflow; the inflow cuts the tail of the flame and "
     "alters its burning rate (lengthen the domain or move the anchor)."},
    {"la simulazione non può partire:", "the simulation cannot start:"},
    {"record 64 (x_anchor): il punto di ancoraggio 2*pi*x_anchor = {1} deve stare dentro il dominio, lungo {2} (0: si usa x_anchor_fraction)",
     "record 64 (x_anchor): the anchor point 2*pi*x_anchor = {1} must lie inside the domain, of length {2} (0: x_anchor_fraction is used)"},
    {"record 12 e 13 (boundary_scheme_parameter = {1}, interior_scheme_parameter = {2}): con questi valori esatti i coefficienti degli schemi compatti dividono per zero; spostarli di poco (per esempio 0.45 invece di 4/9)",
     "records 12 and 13 (boundary_scheme_parameter = {1}, interior_scheme_parameter = {2}): with these exact values the coefficients of the compact schemes divide by zero; move them slightly (for example 0.45 instead of 4/9)"},
    {"una FIFO", "a FIFO"},
    {"una cartella", "a folder"},
    {"un socket", "a socket"},
    {"un dispositivo", "a device"},
    {"un file speciale", "a special file"},
    {"{1}: non è un file regolare ({2}), e la simulazione ci scriverebbe: toglierlo, o cambiare run_tag o i prefissi (record 1-3)",
     "{1}: not a regular file ({2}), and the simulation would write there: remove it, or change run_tag or the prefixes (records 1-3)"},
    {"storia del fronte di una simulazione precedente: {1} sarà continuata (i suoi record fino a it_start restano, i nuovi seguono)",
     "front history of an earlier simulation: {1} will be continued (its records up to it_start stay, the new ones follow)"},
    {"record 8 (it_start) = {1}: l'istantanea {2} contiene lo stato dopo l'iterazione {3} (file compagno {4}): per continuare it_start = {3}",
     "record 8 (it_start) = {1}: the snapshot {2} holds the state after iteration {3} (companion file {4}): to continue, it_start = {3}"},
    {"record 63 (n_stab) = {1}: il file compagno {2} continua una finestra di {3} passi; per continuare n_stab = {3} (o cancellare il file compagno per ripartire senza continuità)",
     "record 63 (n_stab) = {1}: the companion file {2} continues a window of {3} steps; to continue, n_stab = {3} (or delete the companion file to restart without continuity)"},
    {"l'istantanea di ripartenza {1} verrebbe sostituita all'iterazione {2} dalla simulazione stessa: cambiare run_tag (record 1) o ripartire da una copia",
     "the restart snapshot {1} would be replaced at iteration {2} by the simulation itself: change run_tag (record 1) or restart from a copy"},
    {"record 11 (i_thom) = {1}: la simulazione richiede gli operatori pentadiagonali (i_thom = 2)",
     "record 11 (i_thom) = {1}: the simulation needs the pentadiagonal operators (i_thom = 2)"},
    {"record 5 (grid) = 1 con i_thom = 2: gli operatori pentadiagonali non esistono su griglia non uniforme, la "
     "simulazione si fermerebbe",
     "record 5 (grid) = 1 with i_thom = 2: the pentadiagonal operators do not exist on a non-uniform grid, the "
     "simulation would stop"},
    {"record 5 (grid) = 1 ma il file grid.dat non esiste", "record 5 (grid) = 1 but the file grid.dat does not exist"},
    {"record 32 (reaction_order) = 2: il modello a due specie arresta la simulazione alla prima valutazione della "
     "pressione",
     "record 32 (reaction_order) = 2: the two-species model stops the simulation at the first pressure evaluation"},
    {"Simulazione: {1}.", "Simulation: {1}."},
    {"Griglia: uniforme, {1} nodi.", "Grid: uniform, {1} nodes."},
    {"Griglia: non uniforme da grid.dat, {1} nodi.", "Grid: non-uniform from grid.dat, {1} nodes."},
    {"Schema: operatori compatti {1}, Runge-Kutta {2}, passo {3}.", "Scheme: {1} compact operators, Runge-Kutta {2}, step {3}."},
    {"pentadiagonali", "pentadiagonal"},
    {"tridiagonali", "tridiagonal"},
    {"sconosciuti", "unknown"},
    {"dai limiti cfl = {1} e stab = {2}", "from the limits cfl = {1} and stab = {2}"},
    {"fisso dt = {1}", "fixed dt = {1}"},
    {"Iterazioni: da {1} a {2}, uscita ogni {3}.", "Iterations: from {1} to {2}, output every {3}."},
    {"Dominio: lunghezza fissa 2*pi*{1}.", "Domain: fixed length 2*pi*{1}."},
    {"Dominio: {1} spessori di fiamma previsti (lunghezza scelta dalla stima analitica).",
     "Domain: {1} predicted flame thicknesses (length chosen from the analytic estimate)."},
    {"Andamento: parametro {1} in {2} passi da {3} verso {4} (escluso).",
     "Sweep: parameter {1} in {2} steps from {3} towards {4} (excluded)."},
    {"Andamento: nessuno (una sola simulazione).", "Sweep: none (a single simulation)."},
    {"Partenza: da file di ripartenza.", "Start: from a restart file."},
    {"Attenzione: ", "Warning: "},
    {"Configurazione valida.", "Valid configuration."},
    {"{1}: problemi trovati:", "{1}: problems found:"},

    // ---- driver: one simulation per folder
    {"il file sta nella cartella di lavoro (il blocco di una simulazione per cartella)",
     "the file is in the working directory (the lock of one simulation per folder)"},
    {"{1}: non è un file regolare ({2}): il blocco della cartella deve poter essere un file",
     "{1}: not a regular file ({2}): the folder's lock must be able to be a file"},
    {"che sta partendo", "starting"},
    {"la cartella {1} è già usata da un'altra simulazione ({2}): una simulazione per cartella; attendere che finisca o lanciare questa in un'altra cartella ({3})",
     "the folder {1} is already in use by another simulation ({2}): one simulation per folder; wait for it to finish or start this one in another folder ({3})"},

    // ---- output: the companion of a snapshot, which a restart continues from
    {"manca la riga {1}", "the line {1} is missing"},
    {"la riga {1} ha {2} valori, ne servono {3}", "the line {1} has {2} values, {3} are needed"},
    {"la riga {1} non contiene un intero: {2}", "the line {1} holds no integer: {2}"},
    {"la riga {1} contiene \"{2}\" invece di un numero", "the line {1} holds \"{2}\" instead of a number"},
    {"la prima riga non è \"{1}\"", "the first line is not \"{1}\""},
    {"è di {1} punti, la configurazione n = {2}", "it has {1} points, the configuration n = {2}"},
    {"{1}: file compagno illeggibile ({2}); cancellarlo per ripartire dalla sola istantanea, senza continuità",
     "{1}: companion file unreadable ({2}); delete it to restart from the snapshot alone, without continuity"},
    {"{1} è il file compagno di un'altra versione di {2}: la ripartenza prende la sola istantanea, senza continuità (tempo, inseguimento del fronte e controllo ripartono da capo)",
     "{1} is the companion file of another version of {2}: the restart takes the snapshot alone, without continuity (time, front tracking and control start afresh)"},

    // ---- driver: the command line
    {"valore", "value"},
    {"opzione {1}: atteso un numero reale, trovato \"{2}\"", "option {1}: expected a real number, found \"{2}\""},
    {"opzione {1}: atteso un numero intero, trovato \"{2}\"", "option {1}: expected an integer, found \"{2}\""},
    {"opzione {1}: una sola tra --print-config, --check-config, --help, --version",
     "option {1}: only one of --print-config, --check-config, --help, --version"},
    {"opzione {1}: manca il valore", "option {1}: the value is missing"},
    {"opzione --set {1}: attesa la forma NOME=VALORE", "option --set {1}: expected the form NAME=VALUE"},
    {"opzione --sweep-step: il passo deve essere almeno 1", "option --sweep-step: the step must be at least 1"},
    {"opzione {1}: la tolleranza deve essere un numero positivo e finito",
     "option {1}: the tolerance must be a positive, finite number"},
    {"opzione {1}: lingua sconosciuta \"{2}\" (it o en)", "option {1}: unknown language \"{2}\" (it or en)"},
    {"FIAMMA_LANG: lingua sconosciuta \"{1}\" (it o en)", "FIAMMA_LANG: unknown language \"{1}\" (it or en)"},
    {"opzione {1}: la tolleranza deve essere un numero positivo minore di 1",
     "option {1}: the tolerance must be a positive number below 1"},
    {"opzione --start-from: vale solo con --until-settled", "option --start-from: only valid with --until-settled"},
    {"opzione non riconosciuta: {1}", "unrecognised option: {1}"},
    {"Uso: fiamma [OPZIONI] [--print-config [FILE] | --check-config [FILE] | --help | --version]\n"
     "Simula una fiamma premiscelata monodimensionale nella cartella corrente.\n"
     "Senza opzioni legge \"eulero_test.dat\" (e \"grid.dat\" se richiesto) e scrive\n"
     "i risultati nella cartella corrente o sotto i prefissi configurati.\n"
     "\n"
     "  --print-config [FILE]  stampa ogni valore letto dalla configurazione\n"
     "                         (predefinito: eulero_test.dat), prima di ogni elaborazione\n"
     "  --check-config [FILE]  controlla la configurazione e descrive la simulazione\n"
     "  --set NOME=VALORE      sostituisce un valore della configurazione dopo la lettura\n"
     "                         (NOME come in --print-config; ripetibile)\n"
     "  --sweep-step K         esegue da solo il passo K dell'andamento configurato\n"
     "  --correction-tolerance X\n"
     "                         tolleranza della correzione di velocita' (predefinita 5e-5)\n"
     "  --correction-tolerance-relative X\n"
     "                         la stessa, relativa alla massima velocita' nodale\n"
     "  --until-settled[=TOL]  ogni simulazione di fiamma finisce appena la sua velocita'\n"
     "                         di combustione e' assestata entro TOL (predefinita 1e-5),\n"
     "                         it_end come limite; tolleranza di correzione TOL/1000 relativa.\n"
     "                         Passi di pseudo-tempo linearmente impliciti e una rifinitura\n"
     "                         di Newton dello stato stazionario: il transitorio NON e'\n"
     "                         accurato nel tempo, solo lo stato assestato conta\n"
     "  --start-from FILE      con --until-settled: la prima simulazione di fiamma parte\n"
     "                         dall'istantanea FILE di una fiamma vicina assestata (stessa\n"
     "                         griglia e stesso gas fresco) invece che dal profilo iniziale\n"
     "  --settled-tolerance TOL\n"
     "                         tolleranza del giudizio \"assestata\" senza fermare la\n"
     "                         simulazione (predefinita 1e-5)\n"
     "  --lang it|en           la lingua dei messaggi (predefinita: FIAMMA_LANG, altrimenti it)\n"
     "  --help                 mostra questo aiuto\n"
     "  --version              mostra la versione\n"
     "\n"
     "Stato di uscita: 0 fine normale, 2 dati di ingresso non validi (o la cartella\n"
     "già usata da un'altra simulazione),\n"
     "3 arresto del solutore dopo i suoi messaggi, 4 un campo non più finito,\n"
     "5 un file non scrivibile, 6 con --until-settled una simulazione non assestata\n"
     "al limite it_end, 128 + segnale dopo SIGINT (130) o SIGTERM (143).\n",
     "Usage: fiamma [OPTIONS] [--print-config [FILE] | --check-config [FILE] | --help | --version]\n"
     "Simulates a one-dimensional premixed flame in the current folder.\n"
     "Without options it reads \"eulero_test.dat\" (and \"grid.dat\" when asked for) and writes\n"
     "the results in the current folder or under the configured prefixes.\n"
     "\n"
     "  --print-config [FILE]  prints every value read from the configuration\n"
     "                         (default: eulero_test.dat), before any derivation\n"
     "  --check-config [FILE]  checks the configuration and describes the simulation\n"
     "  --set NAME=VALUE       replaces a value of the configuration after reading\n"
     "                         (NAME as in --print-config; repeatable)\n"
     "  --sweep-step K         runs step K of the configured sweep alone\n"
     "  --correction-tolerance X\n"
     "                         tolerance of the velocity correction (default 5e-5)\n"
     "  --correction-tolerance-relative X\n"
     "                         the same, relative to the largest nodal velocity\n"
     "  --until-settled[=TOL]  each flame simulation ends as soon as its burning rate\n"
     "                         is settled to TOL (default 1e-5), with it_end as the cap;\n"
     "                         correction tolerance TOL/1000, relative.\n"
     "                         Linearly implicit pseudo-time steps and a Newton polish\n"
     "                         of the steady state: the transient is NOT time-accurate,\n"
     "                         only the settled state counts\n"
     "  --start-from FILE      with --until-settled: the first flame simulation starts\n"
     "                         from the snapshot FILE of a settled neighbouring flame (same\n"
     "                         grid and same fresh gas) instead of the initial profile\n"
     "  --settled-tolerance TOL\n"
     "                         tolerance of the \"settled\" verdict, without stopping the\n"
     "                         simulation (default 1e-5)\n"
     "  --lang it|en           the language of the messages (default: FIAMMA_LANG, otherwise it)\n"
     "  --help                 shows this help\n"
     "  --version              shows the version\n"
     "\n"
     "Exit status: 0 normal end, 2 invalid input data (or the folder\n"
     "in use by another simulation),\n"
     "3 solver stop after its messages, 4 a field no longer finite,\n"
     "5 a file that cannot be written, 6 with --until-settled a simulation unsettled\n"
     "at the cap it_end, 128 + signal after SIGINT (130) or SIGTERM (143).\n"},
};

}  // namespace fiamma
