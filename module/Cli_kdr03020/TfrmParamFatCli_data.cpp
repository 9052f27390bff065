// The data model of the billing-parameters screen: its server connection, its datasets with their
// fields, its two local queries and its message catalogue. Later behaviour leans on every name, size and
// label here.
#include "module/Cli_kdr03020/TfrmParamFatCli.h"

#include "module/common/server_methods.h"

namespace Cli_kdr03020 {

using namespace kdr;

namespace {

TStringField &stringField(TDataSet &dataSet, const char *name, int size, const char *label = "",
                          bool visible = true) {
  TStringField &field = dataSet.AddStringField(name, size);
  if (*label) field.SetDisplayLabel(label);
  field.SetVisible(visible);
  return field;
}

const std::vector<std::string> catalogue{
    "Excl|Confirma exclusão?",
    "Canc|Cancelar operação?",
    "NTF|Não há Tipo de Faturamento cadastrado para este cliente.",
    "Cliente_Inf|Cliente deve ser informado.",
    "Cliente_NCad|Cliente não cadastrado.",
    "TipServ_JCad|Tipo de Faturamento já cadastrado para o cliente informado.",
    "CUS|Customização",
    "LIC|Licença de uso",
    "MAN|Manutenção",
    "LOC|Locação",
    "OBR|Mão de Obra",
    "SER|Service Desk",
    "TIP_SERV_INF|Tipo de serviço deve ser informado.",
    "TIP_SERV|Tipo de Serviço",
    "TIP_SERV_NCAD|Não há tipo de serviço cadastrado para o cliente informado.",
    "TP_SERV_NCAD|Tipo de serviço não cadastrado.",
    "Emp_Inf|Empresa deve ser informada.",
    "Emp_Inv|Empresa não cadastrada.",
    "EMP|Empresa",
    "EMP_NCAD|Empresa não cadastrada.",
    "Desc|Prestação de serviços.",
    "Desc_Cus|Prestação de serviços de processamento de dados.",
    "Desc_Lic|Cessão de direito de uso do sistema.",
    "Desc_Man|Prestação de serviços de processamento de dados no sistema.",
    "GRUP_IMP|Grupo de Implantaçâo",
    "GER_NCAD|Gerente de Implantação não cadastrado",
    "GER_IMP_NCAD|Gerente de Implantação não cadastrado",
    "GER_IMP_NINF|Gerente de Implantação não Informado",
    "TIP_SERV_NINF|Tipo de Serviço não Informado",
    "TIP_CAD_NINF|Tipo de faturamento deve ser informado",
    "Perc_Inv|Percentual de ajuste do Invoice deve estar entre 0 e 100.",
    "descPad|Existe descrição padrão cadastrada para empresa/faturamento informados. Deseja importar a "
    "descrição?",
    "Sim|Sim",
    "Nao|Não",
    // Saving: what the user must know when a save does not end as usual.
    // Another desktop saved the row first: the two versions are shown side by side ({quem} and
    // {quando} come from the server's history).
    "Alt_Outro|{quem} alterou este parâmetro em {quando}; nada foi gravado. Qual versão fica?",
    "Alt_OutroSem|Outro usuário alterou este parâmetro; nada foi gravado. Qual versão fica?",
    "Alt_Quem|Outro usuário",
    "Alt_Minha|A sua",
    "Alt_Gravada|A gravada",
    "Alt_Manter|Manter a minha",
    "Alt_Usar|Usar a gravada",
    "Alt_Excluida|(excluído)",
    "Alt_NGrav|Há alterações destes parâmetros que não foram gravadas no servidor; elas serão descartadas.",
    "Cache_NAtu|Os parâmetros foram gravados, mas a cópia local do computador não pôde ser atualizada.",
};

} // namespace

void TfrmParamFatCli::createDataModel() {
  netParamFatCliServ = make<TNetConnection>(this, "netParamFatCliServ");
  netParamFatCliServ->ServerName = std::string(kdr03020::common::serverName);
  netParamFatCliServ->ThrowException = false;

  cdsCliente = make<TClientDataSet>(this, "cdsCliente");
  cdsClienteCDCLIENTE = &stringField(*cdsCliente, "CDCLIENTE", 21, "", false);
  cdsClienteNRINSJURCLIE = &stringField(*cdsCliente, "NRINSJURCLIE", 20, "Inscrição");
  cdsClienteNMFANTCLIE = &stringField(*cdsCliente, "NMFANTCLIE", 50, "Nome Fantasia");
  cdsClienteIDTPIJURCLIE = &stringField(*cdsCliente, "IDTPIJURCLIE", 1, "", false);
  dtsCliente = make<TDataSource>(this, "dtsCliente");
  dtsCliente->SetDataSet(cdsCliente);

  cdsParamFatCli = make<TClientDataSet>(this, "cdsParamFatCli");
  TClientDataSet &param = *cdsParamFatCli;
  cdsParamFatCliCDCLIENTE = &stringField(param, "CDCLIENTE", 21, "Cliente", false);
  cdsParamFatCliIDTPFATUCLIE = &stringField(param, "IDTPFATUCLIE", 1, "Tipo Faturamento", false);
  cdsParamFatCliDSFATURCLIE = &stringField(param, "DSFATURCLIE", 400, "Descrição para Faturamento", false);
  cdsParamFatCliDSBOLETCLIE = &stringField(param, "DSBOLETCLIE", 400, "Descrição para Boleto", false);
  cdsParamFatCliNMFANTCLIE = &stringField(param, "NMFANTCLIE", 50, "Nome Fantasia", false);
  cdsParamFatCliCDTIPOSERV = &stringField(param, "CDTIPOSERV", 3, "Tipo de Serviço", false);
  cdsParamFatCliCDTIPOSERV->SetEditMask("999;0; ");
  cdsParamFatCliNMTIPOSERV = &stringField(param, "NMTIPOSERV", 80, "Nome", false);
  cdsParamFatCliCDEMPRESA = &stringField(param, "CDEMPRESA", 2, "Codigo da Empresa", false);
  cdsParamFatCliNMEMPRESA = &stringField(param, "NMEMPRESA", 40, "Empresa", true);
  cdsParamFatCliIDFATURAPFILI = &stringField(param, "IDFATURAPFILI", 1, "Faturamento por Filial", false);
  cdsParamFatCliIDFATMESATUCLIE =
      &stringField(param, "IDFATMESATUCLIE", 1, "Faturamento no mês atual", false);
  cdsParamFatCliNMOPERADOR = &stringField(param, "NMOPERADOR", 40, "", false);
  cdsParamFatCliCDGERENTEIMPCLI = &stringField(param, "CDGERENTEIMPCLI", 12, "Gerente de Implantação", false);
  cdsParamFatCliIDGERANFUNIFICA = &stringField(param, "IDGERANFUNIFICA", 1, "", false);
  cdsParamFatCliVRPERCAJUSTEINV = &param.AddFloatField("VRPERCAJUSTEINV");
  cdsParamFatCliVRPERCAJUSTEINV->SetVisible(false);
  cdsParamFatCliVRPERCAJUSTEINV->SetDisplayFormat("#,##0.00");
  cdsParamFatCliCDPAIS = &stringField(param, "CDPAIS", 4, "", false);

  cdsTemp = make<TClientDataSet>(this, "cdsTemp");
  stringField(*cdsTemp, "CDCLIENTE", 21, "Código do Cliente");
  cdsTempIDTPFATUCLIE = &stringField(*cdsTemp, "IDTPFATUCLIE", 1, "Tipo de Serviço");
  stringField(*cdsTemp, "DSFATURCLIE", 400, "Descrição para Faturamento");
  stringField(*cdsTemp, "DSBOLETCLIE", 400, "Descrição para Boleto");
  stringField(*cdsTemp, "NMFANTCLIE", 50, "Nome Fantasia");

  cdsTipoDeServico = make<TClientDataSet>(this, "cdsTipoDeServico");
  cdsTipoDeServicoCDTIPOSERV = &stringField(*cdsTipoDeServico, "CDTIPOSERV", 3, "Código");
  cdsTipoDeServicoNMTIPOSERV = &stringField(*cdsTipoDeServico, "NMTIPOSERV", 80, "Nome");
  dtsTipoDeServico = make<TDataSource>(this, "dtsTipoDeServico");
  dtsTipoDeServico->SetDataSet(cdsTipoDeServico);

  cdsDescPad = make<TClientDataSet>(this, "cdsDescPad");
  stringField(*cdsDescPad, "CDEMPRESA", 2);
  stringField(*cdsDescPad, "IDTPFATUEMPRESA", 1);
  cdsDescPadDSFATUREMPRESA = &stringField(*cdsDescPad, "DSFATUREMPRESA", 400);
  cdsDescPadDSBOLETEMPRESA = &stringField(*cdsDescPad, "DSBOLETEMPRESA", 400);
  dtsDescPad = make<TDataSource>(this, "dtsDescPad");
  dtsDescPad->SetDataSet(cdsDescPad);

  qryEmpresa = make<TADOIBQuery>(this, "qryEmpresa");
  for (const char *line : {"SELECT", "CDEMPRESA,", "NMEMPRESA", "FROM", "EMPRESA", "WHERE",
                           "(CDEMPRESA = :P_CDEMPRESA OR :P_TCDEMPRESA = 'T')"})
    qryEmpresa->SQL.Add(line);
  qryEmpresaCDEMPRESA = &stringField(qryEmpresa->Query, "CDEMPRESA", 2, "Código");
  qryEmpresaNMEMPRESA = &stringField(qryEmpresa->Query, "NMEMPRESA", 40, "Nome");
  qryEmpresaNMEMPRESA->SetDisplayWidth(45);
  dtsEmpresa = make<TDataSource>(this, "dtsEmpresa");
  dtsEmpresa->SetDataSet(&qryEmpresa->Query);

  qryGrupoImplantacao = make<TADOIBQuery>(this, "qryGrupoImplantacao");
  for (const char *line :
       {"SELECT OPER.CDGRUPOPER, OPER.CDOPERADOR, O.NMOPERADOR",
        "FROM OPERADOR O, OPERGRUPOP OPER, AUTGRUPOP A", "WHERE OPER.CDOPERADOR  = O.CDOPERADOR",
        "AND OPER.CDGRUPOPER  = A.CDGRUPOPER", "AND A.IDAUTGRUPOP = 'ACSA'",
        "AND (OPER.CDOPERADOR = :P_CDOPERADOR", "OR :P_TCDOPERADOR = 'T')", "ORDER BY OPER.CDOPERADOR"})
    qryGrupoImplantacao->SQL.Add(line);
  stringField(qryGrupoImplantacao->Query, "CDGRUPOPER", 2, "Grupo");
  qryGrupoImplantacaoCDOPERADOR = &stringField(qryGrupoImplantacao->Query, "CDOPERADOR", 12, "Codigo");
  qryGrupoImplantacaoNMOPERADOR = &stringField(qryGrupoImplantacao->Query, "NMOPERADOR", 40, "Nome");
  dtsGrupoImplantacao = make<TDataSource>(this, "dtsGrupoImplantacao");
  dtsGrupoImplantacao->SetDataSet(&qryGrupoImplantacao->Query);

  msgPadrao->Messages = catalogue;
}

} // namespace Cli_kdr03020
