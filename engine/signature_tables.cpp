// The built-in catalogue and signature tables. Order matters everywhere:
// the catalogue keeps the order in which rows are added, and in each signature
// table the first matching entry decides which platform a page is credited with.
#include "engine/signature_tables.h"

#include <array>

namespace engine {
namespace {

// "code,name,home page". Names never hold a comma.
constexpr std::array<std::u16string_view, 191> kCatalogue = {
    u"abc,Adobe Business Catalyst,https://www.businesscatalyst.com/",
    u"abda,Al Mubda,https://almubda.net/",
    u"abuy,Afterbuy,https://www.afterbuy.de/",
    u"aef,Advanced Electron Forum,https://www.anelectron.com/",
    u"afsto,Afosto,https://afosto.com/",
    u"amcms,Ametys CMS,https://www.ametys.org/",
    u"amiro,Amiro.CMS,https://www.amiro.ru/",
    u"apos,Apostrophe CMS,https://apostrophecms.com/",
    u"arc,Arc Forum,https://arclanguage.org/forum",
    u"arstta,Arastta,https://arastta.org/",
    u"asciid,AsciiDoc,https://asciidoc.org/",
    u"aspf,AspNetForum,https://www.jitbit.com/asp-net-forum/",
    u"bboard,Burning Board,https://www.woltlab.com/",
    u"bhf,Beehive Forum,https://www.beehiveforum.co.uk/",
    u"bigc,BigCommerce,https://www.bigcommerce.com/",
    u"bigw,Bigware,https://www.bigware.de/",
    u"bitrix,Bitrix,https://www.1c-bitrix.ru/",
    u"bizw,Bizweb,https://www.bizweb.vn/",
    u"blg,Blogger By Google,https://www.blogger.com/",
    u"bolt,Bolt,https://boltcms.io/",
    u"brcms,BrowserCMS,https://www.browsercms.org/",
    u"brightspot,Brightspot CMS,https://www.brightspot.com/",
    u"btree,BigTree CMS,https://www.bigtreecms.org/",
    u"bubble,Bubble,https://bubble.io/",
    u"cbox,ContentBox,https://www.contentboxcms.org/",
    u"cexec,Clientexec,https://www.clientexec.com/",
    u"ckan,CKAN,https://ckan.org/",
    u"cloudc,CloudCart,https://cloudcart.com/",
    u"cmdia,Comandia,https://www.comandia.com/",
    u"cmds,CMS Made Simple,https://www.cmsmadesimple.org/",
    u"cmshop,ColorMeShop,https://shop-pro.jp/",
    u"cnido,CMS CONTENIDO,https://www.contenido.org/",
    u"cntsis,Contensis CMS,https://www.contensis.com/",
    u"coms,Commerce Server,https://www.sitecore.com/",
    u"con5,Concrete5 CMS,https://www.concretecms.com/",
    u"conful,Contentful,https://www.contentful.com/",
    u"contao,Contao CMS,https://contao.org/",
    u"cosmos,Cosmoshop,https://www.cosmoshop.de/",
    u"coton,Cotonti,https://www.cotonti.com/",
    u"craft,Craft CMS,https://craftcms.com/",
    u"csc,CS Cart,https://www.cs-cart.com/",
    u"csim,CMSimple,https://www.cmsimple.org/",
    u"cubec,CubeCart,https://www.cubecart.com/",
    u"dede,DEDE CMS,https://www.dedecms.com/",
    u"discuz,Discuz!,https://www.discuz.net/",
    u"dle,DataLife Engine,https://dle-news.ru/",
    u"dncms,Danneo CMS,https://danneo.ru/",
    u"dnn,DNN Platform,https://www.dnnsoftware.com/",
    u"dragon,CPG Dragonfly,https://dragonflycms.org/",
    u"dru,Drupal,https://www.drupal.org/",
    u"dscrs,Discourse,https://www.discourse.org/",
    u"dweb,Dynamicweb,https://www.dynamicweb.com/",
    u"e107,e107,https://e107.org/",
    u"ecc,EC-CUBE,https://www.ec-cube.net/",
    u"ekmps,ekmPowershop,https://www.ekm.com/",
    u"elcd,Elcodi,https://elcodi.io/",
    u"epgs,ePages,https://www.epages.com/",
    u"epis,EPiServer,https://www.episerver.com/",
    u"exen,ExpressionEngine,https://expressionengine.com/",
    u"ezpu,eZ Publish,https://ez.no/",
    u"ezpub,eZ Publish,https://ez.no/",
    u"flarum,Flarum,https://flarum.org/",
    u"flex,FlexCMP,https://www.flexcmp.com/",
    u"fluxbb,FluxBB,https://fluxbb.org/",
    u"for3,Fortune3,https://www.fortune3.com/",
    u"fork,Fork CMS,https://www.fork-cms.com/",
    u"fudf,FUDforum,https://fudforum.org/",
    u"ghost,Ghost CMS,https://ghost.org/",
    u"godaddywb,GoDaddy Website Builder,https://www.godaddy.com/websites/website-builder",
    u"grav,GravCMS,https://getgrav.org/",
    u"gsimp,GetSimple CMS,http://get-simple.info/",
    u"hippo,HIPPO CMS,https://www.bloomreach.com/",
    u"hotaru,Hotaru CMS,https://github.com/hotaru-cms/hotaru",
    u"hugo,Hugo,https://gohugo.io/",
    u"ibit,Indexhibit,https://www.indexhibit.org/",
    u"impage,ImpressPages CMS,https://www.impresspages.org/",
    u"ipb,IP.Board community forum,https://invisioncommunity.com/",
    u"ipo,IPO CMS,https://www.antee.cz/",
    u"jcms,Jalios JCMS,https://www.jalios.com/",
    u"jf,JForum,https://jforum.net/",
    u"jimdo,Jimdo,https://www.jimdo.com/",
    u"joom,Joomla,https://www.joomla.org/",
    u"kbcms,Kooboo CMS,https://www.kooboo.com/",
    u"koken,Koken,http://koken.me/",
    u"lepton,LEPTON CMS,https://lepton-cms.org/",
    u"lj,LiveJournal,https://www.livejournal.com/",
    u"lscms,LiveStreet CMS,https://livestreet.ru/",
    u"mambo,Mambo,http://mambo-foundation.org/",
    u"mcb,MercuryBoard,https://sourceforge.net/projects/mercuryboard/",
    u"mdle,Moodle,https://moodle.org/",
    u"methd,Methode,https://www.eidosmedia.com/",
    u"mg,Magento,https://business.adobe.com/products/magento/magento-commerce.html",
    u"minibb,miniBB,https://www.minibb.com/",
    u"mnet,mono.net,https://mono.net/",
    u"mobirise,Mobirise,https://mobirise.com/",
    u"modx,MODX,https://modx.com/",
    u"moto,Moto CMS,https://www.motocms.com/",
    u"mura,Mura CMS,https://www.murasoftware.com/",
    u"mvnf,mvnForum,https://sourceforge.net/projects/mvnforum/",
    u"mwf,mwForum,https://www.mwforum.org/",
    u"mybb,MyBB,https://mybb.com/",
    u"myupb,myUPB,https://sourceforge.net/projects/myupb/",
    u"nnf,NoNonsense Forum,https://camendesign.com/nononsense_forum",
    u"nodebb,NodeBB,https://nodebb.org/",
    u"oc,OpenCart,https://www.opencart.com/",
    u"ocms,OpenCms,https://www.opencms.org/",
    u"octcms,October CMS,https://octobercms.com/",
    u"odoo,Odoo,https://www.odoo.com/",
    u"opennemas,OpenNemas CMS,https://www.opennemas.com/",
    u"ophal,Ophal,https://ophal.org/",
    u"oracle_atg,Oracle ATG Web Commerce,https://www.oracle.com/applications/customer-experience/ecommerce/",
    u"orchd,Orchard CMS,https://orchardcore.net/",
    u"orkis,ORKIS Ajaris Websuite,https://www.orkis.com/",
    u"otwsm,OpenText WSM,https://www.opentext.com/",
    u"pblue,PencilBlue,https://github.com/pencilblue/pencilblue",
    u"pcore,Pimcore,https://pimcore.com/",
    u"percms,Percussion CMS,https://www.percussion.com/",
    u"phorum,Phorum,https://www.phorum.org/",
    u"phpbb,phpBB,https://www.phpbb.com/",
    u"phpc,phpCMS,https://www.phpcms.cn/",
    u"phpn,PHP Nuke,https://www.phpnuke.org/",
    u"pmoc,Proximis Omnichannel,https://www.proximis.com/",
    u"presta,PrestaShop,https://www.prestashop.com/",
    u"punbb,PunBB,https://punbb.informer.com/",
    u"pwind,phpWind,https://www.phpwind.net/",
    u"qcart,Quick.Cart,https://opensolution.org/",
    u"quick,Quick.Cms,https://opensolution.org/",
    u"rbsc,RBS Change,https://github.com/RBSChange",
    u"rcms,RCMS,https://www.r-cms.jp/",
    u"rcube,RoundCube Webmail,https://roundcube.net/",
    u"rite,RiteCMS,https://ritecms.com/",
    u"roadz,Roadiz CMS,https://www.roadiz.io/",
    u"rock,Rock RMS,https://www.rockrms.com/",
    u"sazito,Sazito,https://www.sazito.com/",
    u"score,Sitecore,https://www.sitecore.com/",
    u"sdev,solodev,https://www.solodev.com/",
    u"sfcc,Salesforce Commerce Cloud,https://www.salesforce.com/commerce/",
    u"sfy,Sitefinity,https://www.progress.com/sitefinity-cms",
    u"share,Microsoft Sharepoint,https://www.microsoft.com/microsoft-365/sharepoint/collaboration",
    u"shopatron,Shopatron,https://www.shopatron.com/",
    u"shoper,Shoper,https://www.shoper.pl/",
    u"shopery,Shopery,https://shopery.com/",
    u"shopfa,ShopFA,https://shopfa.com/",
    u"shopify,Shopify,https://www.shopify.com/",
    u"shoptet,Shoptet,https://www.shoptet.cz/",
    u"silva,Silva CMS,https://silvacms.org/",
    u"sim,SIMsite,https://www.simsite.nl/",
    u"slcms,SeamlessCMS,https://www.seamlesscms.com/",
    u"smartstore,Smartstore,https://www.smartstore.com/",
    u"smf,Simple Machines Forum,https://www.simplemachines.org/",
    u"snews,sNews,https://snewscms.com/",
    u"solusquare,Solusquare Commerce Cloud,https://www.solusquare.com/",
    u"spb,Simplébo,https://www.simplebo.fr/",
    u"spin,Spin CMS,https://www.spincms.com/",
    u"spity,Serendipity,https://docs.s9y.org/",
    u"spree,Spree,https://spreecommerce.org/",
    u"sqm,Squiz Matrix,https://matrix.squiz.net/",
    u"squarespace,Squarespace,https://www.squarespace.com/",
    u"sst,SilverStripe,https://www.silverstripe.org/",
    u"subcms,Subrion CMS,https://subrion.org/",
    u"sulu,SULU,https://sulu.io/",
    u"tdc,3dCart,https://www.3dcart.com/",
    u"tidw,TiddlyWiki,https://tiddlywiki.com/",
    u"tiki,Tiki Wiki CMS Groupware,https://tiki.org/",
    u"tilda,Tilda CMS,https://tilda.cc/",
    u"tp3,TYPO3 CMS,https://typo3.org/",
    u"tpc,Textpattern CMS,https://textpattern.com/",
    u"ubbt,UBB.threads,https://www.ubbcentral.com/",
    u"uknva,uKnowva,https://www.uknowva.com/",
    u"umbraco,Umbraco,https://umbraco.com/",
    u"umi,UMI.CMS,https://www.umi-cms.ru/",
    u"ushahidi,Ushahidi,https://www.ushahidi.com/",
    u"vanilla,Vanilla Forums,https://vanillaforums.com/",
    u"vbulletin,vBulletin,https://www.vbulletin.com/",
    u"wb,WebsiteBaker CMS,https://websitebaker.org/",
    u"weebly,Weebly,https://www.weebly.com/",
    u"wflow,Webflow CMS,https://webflow.com/",
    u"wgui,WebGUI,https://github.com/plainblack/webgui",
    u"whmcs,WHMCS,https://www.whmcs.com/",
    u"wix,WIX Website Builder,https://www.wix.com/",
    u"wolf,Wolf CMS,https://github.com/wolfcms/wolfcms",
    u"wp,WordPress,https://wordpress.org/",
    u"xe,XpressEngine,https://www.xpressengine.com/",
    u"xf,XenForo,https://xenforo.com/",
    u"xmb,XMB,https://www.xmbforum2.com/",
    u"xoops,XOOPS,https://xoops.org/",
    u"yabb,YaBB (Yet another Bulletin Board),https://www.yabbforum.com/",
    u"yaf,Yet Another Forum (YAF),https://www.yetanotherforum.net/",
    u"yazd,Yazd,https://sourceforge.net/projects/yazd/",
    u"zencart,Zen Cart CMS,https://www.zen-cart.com/",
    u"zyro,Zyro,https://zyro.com/",
};

// Plain-text signatures: "alternative||alternative:-code", searched as literal,
// case-sensitive texts. Blanks at either end of an alternative belong to it.
constexpr std::array<std::u16string_view, 128> kPlainSignatures = {
    uR"~(/wp-content/||/wp-include/:-wp)~",  // 1
    uR"~(/skin/frontend/||x-magento-init:-mg)~",  // 2
    uR"~(https://www.blogger.com/static/:-blg)~",  // 3
    uR"~(ic.pics.livejournal.com:-lj)~",  // 4
    uR"~(END: 3dcart stats:-tdc)~",  // 5
    uR"~(href="/apos-minified/:-apos)~",  // 6
    uR"~(href="/CatalystStyles/:-abc)~",  // 7
    uR"~(/misc/drupal.js:-dru)~",  // 8
    uR"~(css/joomla.css:-joom)~",  // 9
    uR"~(Powered By <a href="http://www.opencart.com">OpenCart||"catalog/view/javascript/jquery/swiper/css/opencart.css"||index.php?route=:-oc)~",  // 10
    uR"~(/xoops.js||xoops_redirect:-xoops)~",  // 11
    uR"~(static.tildacdn.com:-tilda)~",  // 12
    uR"~(Wolf Default RSS Feed:-wolf)~",  // 13
    uR"~(/ushahidi.js||alt="Ushahidi":-ushahidi)~",  // 14
    uR"~(getWebguiProperty:-wgui)~",  // 15
    uR"~(title: "TiddlyWiki"||TiddlyWiki created by Jeremy Ruston,:-tidw)~",  // 16
    uR"~(Running Squiz Matrix:-sqm)~",  // 17
    uR"~(assets.spincms.com:-spin)~",  // 18
    uR"~(content="Solodev" name="author":-sdev)~",  // 19
    uR"~(content="sNews:-snews)~",  // 20
    uR"~(/api/sitecore/:-score)~",  // 21
    uR"~(simsite/:-sim)~",  // 22
    uR"~(simplebo.fr/:-spb)~",  // 23
    uR"~(/silvatheme:-silva)~",  // 24
    uR"~(serendipityQuickSearchTermField ||"serendipity_||serendipity[:-spity)~",  // 25
    uR"~(Published by Seamless.CMS.WebUI:-slcms)~",  // 26
    uR"~(rock-config-trigger||rock-config-cancel-trigger:-rock)~",  // 27
    uR"~(/rcms-f-production.:-rcms)~",  // 28
    uR"~(CMS by Quick.Cms:-quick)~",  // 29
    uR"~(Powered by Quick.Cart:-qcart)~",  // 30
    uR"~(DataLife Engine||dle_js.js:-dle)~",  // 31
    uR"~(Roundcube Webmail||rcube_webmail:-rcube)~",  // 32
    uR"~(bitrix||Bitrix:-bitrix)~",  // 33
    uR"~("pimcore_:-pcore)~",  // 34
    uR"~(xmlns:perc||cm/css/perc_decoration.css:-percms)~",  // 35
    uR"~(PencilBlueController||"pencilblueApp":-pblue)~",  // 36
    uR"~(/libraries/ophal.js:-ophal)~",  // 37
    uR"~(Sitefinity/WebsiteTemplates:-sfy)~",  // 38
    uR"~(assets.zyrosite.com:-zyro)~",  // 39
    uR"~(published by Open Text Web Solutions:-otwsm)~",  // 40
    uR"~(/opencms/export/:-ocms)~",  // 41
    uR"~(odoo.session_info||var odoo =:-odoo)~",  // 42
    uR"~(_spBodyOnLoadWrapper||_spPageContextInfo||_spFormOnSubmitWrapper:-share)~",  // 43
    uR"~(/storage/app/media/:-octcms)~",  // 44
    uR"~(mura.min.css||/plugins/Mura:-mura)~",  // 45
    uR"~(mt-content/||moto-website-style:-moto)~",  // 46
    uR"~(mono_donottrack||monotracker.js ||_monoTracker:-mnet)~",  // 47
    uR"~(Powered by MODX</a>:-modx)~",  // 48
    uR"~(siteCMS:methode"||"contentOriginatingCMS=Methode"||Methode tags version||/r/PortalConfig/common/assets/:-methd)~",  // 49
    uR"~(var LIVESTREET_SECURITY_KEY:-lscms)~",  // 50
    uR"~(/koken.js||data-koken-internal:-koken)~",  // 51
    uR"~(jimdo_layout_css||var jimdoData||isJimdoMobileApp:-jimdo)~",  // 52
    uR"~(<!-- you must provide a link to Indexhibit||"Built with <a href=http://www.indexhibit.org/>Indexhibit</a>"||ndxz-studio/site||ndxzsite/:-ibit)~",  // 53
    uR"~(<!-- webflow css -->||css/webflow.css||js/webflow.js:-wflow)~",  // 54
    uR"~(css/jalios/core/||js/jalios/core/||jalios:ready:-jcms)~",  // 55
    uR"~(ip_themes/||ip_libs/||ip_cms/:-impage)~",  // 56
    uR"~(/css_js_cache/hotaru_css||hotaruFooterImg||/css_js_cache/hotaru_js:-hotaru)~",  // 57
    uR"~(binaries/content/gallery/:-hippo)~",  // 58
    uR"~(PHP-Nuke Copyright ©||PHP-Nuke theme by:-phpn)~",  // 59
    uR"~(FlexCMP - CMS per Siti Accessibili||/flex/TemplatesUSR/||FlexCMP - Digital Experience Platform (DXP):-flex)~",  // 60
    uR"~(copyright" content="eZ Systems"||ezcontentnavigationpart||ezinfo/copyright:-ezpu)~",  // 61
    uR"~(e107_files/e107.js||e107_themes/||e107_plugins/:-e107)~",  // 62
    uR"~(<!-- DNN Platform|| by DNN Corporation -->||DNNROBOTS||js/dnncore.js?||dnn_ContentPane||js/dnn.js?:-dnn)~",  // 63
    uR"~(phpBBstyle||phpBBMobileStyle||style_cookie_settings:-phpbb)~",  // 64
    uR"~(dede_fields||dede_fieldshash||DedeAjax||DedeXHTTP||include/dedeajax2.js||css/dedecms.css:-dede)~",  // 65
    uR"~(/Orchard.jQuery/||orchard.themes||orchard-layouts-root:-orchd)~",  // 66
    uR"~(modules/contentbox/themes/:-cbox)~",  // 67
    uR"~(data-contentful||.contentful.com/||.ctfassets.net/:-conful)~",  // 68
    uR"~(Contensis.current||ContensisSubmitFromTextbox||ContensisTextOnly:-cntsis)~",  // 69
    uR"~(system/cron/cron.txt:-contao)~",  // 70
    uR"~(/burningBoard.css||wcf/style/:-bboard)~",  // 71
    uR"~(/concrete/images||/concrete/css||/concrete/js:-con5)~",  // 72
    uR"~(discourse_theme_id||discourse_current_homepage:-dscrs)~",  // 73
    uR"~(discuz_uid||discuz_tips||content="Discuz! Team and Comsenz UI Team":-discuz)~",  // 74
    uR"~(flarum-loading||flarum/app:-flarum)~",  // 75
    uR"~(/* IP.Board||js/ipb.js||js/ipb.lang.js:-ipb)~",  // 76
    uR"~(ips_usernameand ips_password:-ipb)~",  // 77
    uR"~(bb_default_style.css||name="URL" content="https://www.minibb.com":-minibb)~",  // 78
    uR"~(var MyBBEditor:-mybb)~",  // 79
    uR"~(/assets/nodebb.min.js||/plugins/nodebb-:-nodebb)~",  // 80
    uR"~(PUNBB.env||typeof PUNBB ===:-punbb)~",  // 81
    uR"~(Powered by SMF:-smf)~",  // 82
    uR"~(vanilla_discussions_index||vanilla_categories_index:-vanilla)~",  // 83
    uR"~(Forum software by XenForo&trade;||<html id="XenForo"||css.php?css=xenforo:-xf)~",  // 84
    uR"~(<!-- Powered by XMB||<!-- The XMB Group -->||Powered by XMB:-xmb)~",  // 85
    uR"~(yabbfiles/:-yabb)~",  // 86
    uR"~(Powered By AEF:-aef)~",  // 87
    uR"~(Powered by: FUDforum:-fudf)~",  // 88
    uR"~(<div id="phorum">:-phorum)~",  // 89
    uR"~("YafHead:-yaf)~",  // 90
    uR"~(<!-- NoNonsense Forum:-nnf)~",  // 91
    uR"~(/mvnplugin/mvnforum/:-mvnf)~",  // 92
    uR"~(aspnetforum.css"||_AspNetForumContentPlaceHolder:-aspf)~",  // 93
    uR"~(jforum/templates/:-jf)~",  // 94
    uR"~(This OnlineStore is brought to you by ViA-Online GmbH Afterbuy.:-abuy)~",  // 95
    uR"~(/arastta.js:-arstta)~",  // 96
    uR"~(<script src='//bizweb.dktcdn.net:-bizw)~",  // 97
    uR"~(cloudcart","title:-cloudc)~",  // 98
    uR"~(framework/colormekit.css:-cmshop)~",  // 99
    uR"~(<meta name="keywords" content="moodle:-mdle)~",  // 100
    uR"~(<meta property="ajaris:baseURL"||<meta property="ajaris:language"||<meta property="ajaris:ptoken":-orkis)~",  // 101
    uR"~(window.Comandia = JSON.parse||<script src="https://cdn.comandia.com/static/shop/common/js/functions.js"></script>:-cmdia)~",  // 102
    uR"~(/bundles/elcodimetric/js/tracker.js:-elcd)~",  // 103
    uR"~(de_epages.remotesearch.ui.suggest||require([['de_epages':-epgs)~",  // 104
    uR"~(href="https://www.fortune3.com/en/siterate/rate.css":-for3)~",  // 105
    uR"~(<body class="gridlock shifter">::::<div class="shifter-page">:-btree)~",  // 106
    uR"~(list-unstyled::::editable-zone:-pmoc)~",  // 107
    uR"~(<!-- Demandware Analytics code||<!-- Demandware Apple Pay -->:-sfcc)~",  // 108
    uR"~(icons__icons___XoCGh||styles__empty___3WCoC||icons__icon-phone___22Eum:-sazito)~",  // 109
    uR"~(SHOPATRON-CRAWLER:-shopatron)~",  // 110
    uR"~(Umbraco/||umbraco/:-umbraco)~",  // 111
    uR"~(Sklep internetowy shoper.pl:-shoper)~",  // 112
    uR"~(//www.googletagmanager.com/ns.html?id=GTM-NVWK4K:-shopery)~",  // 113
    uR"~(shopfa_license:-shopfa)~",  // 114
    uR"~(/smjslib.js||/smartstore.core.js:-smartstore)~",  // 115
    uR"~(_W.configDomain||Weebly.footer:-weebly)~",  // 116
    uR"~(js/whmcs.js:-whmcs)~",  // 117
    uR"~(OpenNeMaS CMS by Openhost||var u = "https://piwik.openhost.es/":-opennemas)~",  // 118
    uR"~(zenid=||Congratulations! You have successfully installed your Zen Cart||Google Code for ZenCart Google||Powered by ZenCart||sideboxpzen-cart||stylesheet_zen_lightbox.css:-zencart)~",  // 119
    uR"~(Redakční systém IPO||cdn.antee.cz/||ipo.min.js:-ipo)~",  // 120
    uR"~(Built using HUGO:-hugo)~",  // 121
    uR"~(This is Squarespace||End of Squarespace Headers:-squarespace)~",  // 122
    uR"~(Powered by vBulletin:-vbulletin)~",  // 123
    uR"~(content="vBulletin:-vbulletin)~",  // 124
    uR"~(vBulletin_init();:-vbulletin)~",  // 125
    uR"~(<!-- Site made with Mobirise Website Builder:-mobirise)~",  // 126
    uR"~(<meta name="generator" content="Mobirise:-mobirise)~",  // 127
    uR"~(assets/mobirise:-mobirise)~",  // 128
};

// Regular-expression signatures, same grammar. The entry between "btree" and
// "sfcc" has no code, so the matchers pass it over.
constexpr std::array<std::u16string_view, 64> kRegExSignatures = {
    uR"~(("|')https://afosto-cdn(.*?)afosto\.com(.*?)("|'):-afsto)~",  // 1
    uR"~(Powered by(.*?)JForum(.*?)\</a\>:-jf)~",  // 2
    uR"~(Powered by(.*?)AspNetForum(.*?)(\</a\>|\</span\>):-aspf)~",  // 3
    uR"~(Powered by(.*?)MercuryBoard(.*?)\</a\>:-mcb)~",  // 4
    uR"~(Powered by(.*?)mwForum(.*?)Markus Wichitill:-mwf)~",  // 5
    uR"~(Powered by(.*?)mvnForum(.*?)\</a\>:-mvnf)~",  // 6
    uR"~(Powered by myUPB(.*?)\</a\>:-myupb)~",  // 7
    uR"~(\>Powered by UBB\.threads(.*?)\</a\>:-ubbt)~",  // 8
    uR"~(Powered by(.*?)NoNonsense Forum\</a\>:-nnf)~",  // 9
    uR"~(\>Powered by YAF\.NET(.*?)\</a\>:-yaf)~",  // 10
    uR"~(aefonload(.*?)\</script\>:-aef)~",  // 11
    uR"~(applications/vanilla/(.*?)\.js:-vanilla)~",  // 12
    uR"~(var smf_(theme_url|images_url|scripturl) \=(.*?)\</script\>:-smf)~",  // 13
    uR"~(Powered by(.*?)PunBB\</a\>:-punbb)~",  // 14
    uR"~(Powered by(.*?)NodeBB\</a\>:-nodebb)~",  // 15
    uR"~((Powered By|href="https://mybb\.com")(.*?)(MyBB|MyBB Group)</a>:-mybb)~",  // 16
    uR"~((powered by|https://www\.minibb\.com)(.*?)(miniBB|miniBB forum software):-minibb)~",  // 17
    uR"~(Powered by(.*?)FluxBB:-fluxbb)~",  // 18
    uR"~(invisioncommunity\.com(.*?)Powered by Invision Community:-ipb)~",  // 19
    uR"~(ipb\.(vars|templates|lang)\[(.*?)=(.*?)\</script\>:-ipb)~",  // 20
    uR"~((<a href="https://www\.woltlab\.com"|Forum Software|Forensoftware)(.*?)Burning Board(.*?)</strong>:-bboard)~",  // 21
    uR"~(Discourse\.(.*?)\=(.*?)\</script\>:-dscrs)~",  // 22
    uR"~(ping\.src \= node\.href(.*?)\</script\>:-arc)~",  // 23
    uR"~(binaries/(.*?)/content/gallery/:-hippo)~",  // 24
    uR"~(\.php\?m\=(.*?)&c\=(.*?)&a\=(.*?)&catid\=:-phpc)~",  // 25
    uR"~(Powered by (.*?)phpBB:-phpbb)~",  // 26
    uR"~(copyright(.*?)phpBB Group:-phpbb)~",  // 27
    uR"~(Powered by(.*?)Cotonti:-coton)~",  // 28
    uR"~(CCM_(.*?)(_|)(MODE|URL|PATH|FILENAME|REL|CID):-con5)~",  // 29
    uR"~(<link href=(.*?)cdn\d*.bigcommerce\.com/:-bigc)~",  // 30
    uR"~(\<a href\=(.*?)main_bigware_(\d)\.php:-bigw)~",  // 31
    uR"~(var Bizweb \=(.*?)\</script\>:-bizw)~",  // 32
    uR"~(var clientexec \=(.*?)\</script\>||Powered by(.*?)https://www\.clientexec\.com\?source=poweredby(.*?)</a>:-cexec)~",  // 33
    uR"~(\<meta name\=(.*?)author(.*?)CloudCart LLC(.*?)\>:-cloudc)~",  // 34
    uR"~(var Colorme \=(.*?)\</script\>:-cmshop)~",  // 35
    uR"~(https://cdn.comandia.com/uploads/comandia_(.*?)/r/(.*?)//js/(functions|main).js:-cmdia)~",  // 36
    uR"~(<script(.*?)cosmoshop_functions.js(.*?)</script>:-cosmos)~",  // 37
    uR"~(.cm-noscript(.*?)</script>:-csc)~",  // 38
    uR"~(<link(.*?)cubecart.common.css(.*?)>:-cubec)~",  // 39
    uR"~(<a href(.*?)https://almubda\.net(.*?)Powered by Al Mubda(.*?)</a>:-abda)~",  // 40
    uR"~(<!--(.*?)Dynamicweb Software(.*?)-->:-dweb)~",  // 41
    uR"~(<script(.*?)eccube.js(.*?)</script>||<script(.*?)win_op.js(.*?)</script>||<script(.*?)cube.site.js(.*?)</script>:-ecc)~",  // 42
    uR"~(<script(.*?)Tracker generator for elcodi bamboo store(.*?)</script>:-elcd)~",  // 43
    uR"~(href=(.*?)/epages/(.*?).sf(.*?)</a>:-epgs)~",  // 44
    uR"~(<script(.*?)/extension/iagutils/design/ezwebin/(.*?)</script>:-ezpub)~",  // 45
    uR"~(Powered by(.*?)Fortune3</a>:-for3)~",  // 46
    uR"~(Built on(.*?)bigtreecms\.org(.*?)BigTree CMS:-btree)~",  // 47
    uR"~(powered(.*?)opensolution\.org(.*?)Sklep internetowy)~",  // no code: credits nothing
    uR"~(href\=(.*?)on/demandware.static:-sfcc)~",  // 48
    uR"~(href=(.*?)mediacdn\.shopatron\.com||href=(.*?)cdn\.shopatron\.com:-shopatron)~",  // 49
    uR"~(href\=(.*?)rwd_shoper(|_1):-shoper)~",  // 50
    uR"~((cdn|font).shopery\.com/:-shopery)~",  // 51
    uR"~(href=(.*?)cdn\.shopfa\.com/||href=(.*?)shopfacdn\.com/:-shopfa)~",  // 52
    uR"~(id=("|')(shopify-digital-wallet|shopify-features)||href=(.*?)cdn\.shopify\.com/:-shopify)~",  // 53
    uR"~(href=(.*?)cdn\.myshoptet\.com/||content="shoptet\.sk"||var shoptet=:-shoptet)~",  // 54
    uR"~(css/smartstore.(core|theme|modules).css:-smartstore)~",  // 55
    uR"~(src=(.*?)spree/(products|brands)||Spree.(api_key|routes|translations):-spree)~",  // 56
    uR"~(meta name\=("|')brightspot.(contentId|cached)||href=("|')brightspotcdn:-brightspot)~",  // 57
    uR"~(amiro_sys_(css|js).php:-amiro)~",  // 58
    uR"~(weebly-(footer|icon):-weebly)~",  // 59
    uR"~(/ekmps/(scripts|css|assets|images|shops|designs)||globalstats\.ekmsecure\.com/hits/stats(-global)\.js:-ekmps)~",  // 60
    uR"~(sf_(wrapper|footer|banner|subnavigation|pagetitle):-godaddywb)~",  // 61
    uR"~(onm-(new|image|carousel|big|cropped):-opennemas)~",  // 62
    uR"~(ipo(pagetext|mainframe|footer|menuwrapper|copyright|header|main|menu|statistics):-ipo)~",  // 63
};

// Generator names by code, for the platforms whose generator meta element
// does not begin with their catalogue name.
struct TGeneratorNames {
  std::u16string_view code;
  std::array<std::u16string_view, 3> names;  // empty ones unused
  std::size_t count;
};
constexpr TGeneratorNames kGeneratorNames[] = {
    {u"joom", {u"Joomla! - Open Source Content Management", u"Joomla!"}, 2},
    {u"ghost", {u"Ghost"}, 1},
    {u"tp3", {u"TYPO3"}, 1},
    {u"con5", {u"concrete5", u"Concrete CMS"}, 2},
    {u"contao", {u"Contao"}, 1},
    {u"grav", {u"GravCMS"}, 1},
    {u"gsimp", {u"GetSimple"}, 1},
    {u"octcms", {u"OctoberCMS", u"October CMS"}, 2},
    {u"wix", {u"Wix.com Website Builder"}, 1},
    {u"wflow", {u"Webflow"}, 1},
    {u"zencart", {u"Zen Cart"}, 1},
    {u"dnn", {u"DotNetNuke"}, 1},
    {u"wb", {u"WebsiteBaker"}, 1},
    {u"tpc", {u"Textpattern"}, 1},
    {u"impage", {u"ImpressPages"}, 1},
    {u"lepton", {u"LEPTON"}, 1},
    {u"godaddywb", {u"Starfield Technologies; Go Daddy Website Builder"}, 1},
};

}  // namespace

std::span<const std::u16string_view> GeneratorNames(std::u16string_view code) {
  for (const auto& row : kGeneratorNames) {
    if (row.code == code) return std::span<const std::u16string_view>(row.names.data(), row.count);
  }
  return {};
}

std::span<const std::u16string_view> CatalogueRows() { return kCatalogue; }
std::span<const std::u16string_view> PlainSignatures() { return kPlainSignatures; }
std::span<const std::u16string_view> RegExSignatures() { return kRegExSignatures; }

namespace {
std::u16string_view TrimControls(std::u16string_view s) {
  while (!s.empty() && s.front() <= u' ') s.remove_prefix(1);
  while (!s.empty() && s.back() <= u' ') s.remove_suffix(1);
  return s;
}
}  // namespace

std::optional<TSignatureEntry> ParseSignatureEntry(std::u16string_view entry) {
  const auto cut = entry.find(u":-");
  if (cut == std::u16string_view::npos) return std::nullopt;
  TSignatureEntry result;
  result.code = TrimControls(entry.substr(cut + 2));
  std::u16string_view patterns = TrimControls(entry.substr(0, cut));
  for (;;) {
    const auto bar = patterns.find(u"||");
    result.alternatives.push_back(patterns.substr(0, bar));
    if (bar == std::u16string_view::npos) break;
    patterns.remove_prefix(bar + 2);
  }
  return result;
}

}  // namespace engine
